#include "app/gtk/page_scheme.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::app::gtk {

namespace {

constexpr std::size_t kMaxName = 255;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '-';
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return decoded;
}

std::optional<std::string> PlainFileName(std::string_view escaped) {
  std::optional<std::string> name = PercentDecode(escaped);
  if (!name || name->empty() || name->size() > kMaxName || name->front() == '.') return std::nullopt;
  if (name->find("..") != std::string::npos) return std::nullopt;
  for (char c : *name) {
    if (!IsNameByte(c)) return std::nullopt;
  }
  return name;
}

std::optional<std::string> PageFileOf(std::string_view address) {
  if (!address.starts_with(kPageBase)) return std::nullopt;
  address.remove_prefix(kPageBase.size());
  return PlainFileName(address.substr(0, address.find_first_of("?#")));
}

std::optional<std::string> PageAddressOf(std::string_view fileAddress, std::string_view folder) {
  constexpr std::string_view kFile = "file://";
  if (!fileAddress.starts_with(kFile) || folder.empty() || folder.front() != '/' || folder.back() != '/')
    return std::nullopt;
  fileAddress.remove_prefix(kFile.size());
  const std::size_t hash = fileAddress.find('#');
  const std::string_view fragment = hash == std::string_view::npos ? std::string_view() : fileAddress.substr(hash);
  const std::optional<std::string> path = PercentDecode(fileAddress.substr(0, hash));
  if (!path || !path->starts_with(folder)) return std::nullopt;
  const std::optional<std::string> name = PlainFileName(std::string_view(*path).substr(folder.size()));
  if (!name) return std::nullopt;
  return std::string(kPageBase) + *name + std::string(fragment);
}

int OpenPageFile(int folderFd, std::string_view plainName) {
  // A plain name decodes to itself: checking it again costs nothing.
  const std::optional<std::string> name = PlainFileName(plainName);
  if (!name || folderFd < 0) return -1;
  const int fd = ::openat(folderFd, name->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string PageMimeType(const std::string& name, const unsigned char* head, std::size_t size) {
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(name.c_str(), head, size, &uncertain);
  gchar* mime = type != nullptr ? g_content_type_get_mime_type(type) : nullptr;
  std::string result = mime != nullptr ? mime : "application/octet-stream";
  g_free(mime);
  g_free(type);
  return result;
}

}  // namespace tessaly::app::gtk
