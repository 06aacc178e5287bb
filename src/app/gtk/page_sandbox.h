// Whether the page view's process can run in WebKit's sandbox here.
//
// With its sandbox on, WebKit starts every page process through bubblewrap
// (its own namespaces, a seccomp filter, only the files it needs), with
// xdg-dbus-proxy in front of the session bus. Where bubblewrap cannot make
// its namespaces (a container without user namespaces, a kernel that
// forbids them) WebKit does not fall back: it ends the whole program. So the
// reader first runs bubblewrap once itself, asking for the same kinds of
// namespace, and turns the sandbox on only when that worked.
#pragma once

#include <optional>
#include <string>

namespace tessaly::app::gtk {

// nullopt when the sandbox can start; else what stands in its way, in a
// few words.
std::optional<std::string> SandboxObstacle();

}  // namespace tessaly::app::gtk
