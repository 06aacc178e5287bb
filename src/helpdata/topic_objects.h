// The three objects of the topic table (base/topic_table.h reads them),
// read from a book when it holds all three.
#pragma once

#include "base/object_source.h"

namespace tessaly {

// A book without any one of them has no topic table.
struct TopicObjects {
  ObjectBuffer topics, urltbl, urlstr;
};
TopicObjects ReadTopicObjects(const ObjectSource& objects);

}  // namespace tessaly
