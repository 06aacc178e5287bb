// The WebKit (WHATWG) name of a Windows code page's character set: the
// default a page that declares none is read in. Empty when there is none.
#pragma once

#include <string>

namespace tessaly::app {

std::string CharsetForCodePage(int codePage);

}  // namespace tessaly::app
