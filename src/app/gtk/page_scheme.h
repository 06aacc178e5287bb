// The page view's own scheme, "ms-its": every page and every object a page
// loads comes through it, from the reader (Reader::OnObjectRequest), which
// serves only objects of the books it has open. This file says what the
// bytes are served as.
#pragma once

#include <string>
#include <string_view>

namespace tessaly::app::gtk {

// The MIME type to serve an object as, from its name and first bytes.
std::string PageMimeType(const std::string& name, std::string_view head);

}  // namespace tessaly::app::gtk
