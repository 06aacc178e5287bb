#include "helpdata/helpdata.h"

namespace tessaly {

TopicObjects ReadTopicObjects(const ObjectSource& objects) {
  TopicObjects read;
  if (objects.HasObject("#topics") && objects.HasObject("#urltbl") && objects.HasObject("#urlstr")) {
    read.topics = objects.ReadObject("#topics");
    read.urltbl = objects.ReadObject("#urltbl");
    read.urlstr = objects.ReadObject("#urlstr");
  }
  return read;
}

}  // namespace tessaly
