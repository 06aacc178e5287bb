#include "app/gtk/key_value_store.h"

#include <glib.h>

#include <memory>

namespace tessaly::app::gtk {

namespace {

struct KeyFileFree {
  void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;

// The file's contents; an absent file reads as empty, any other failure
// (unreadable, not a key file) as nullptr.
KeyFile Load(const std::string& path) {
  KeyFile file(g_key_file_new());
  GError* error = nullptr;
  if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_KEEP_COMMENTS, &error)) {
    const bool absent = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT);
    g_error_free(error);
    if (!absent) return nullptr;
  }
  return file;
}

bool Save(GKeyFile* file, const std::string& path) {
  // g_key_file_save_to_file writes a new file and renames it over the old.
  return g_key_file_save_to_file(file, path.c_str(), nullptr);
}

bool Utf8(std::string_view text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

}  // namespace

bool KeyValueStore::Install(std::string_view helpPath) {
  KeyFile file = Load(path_);
  if (!file) return false;
  bool changed = false;
  const std::string prev(kPrevKey);
  const std::string chmFile(kChmFileKey);
  if (!g_key_file_has_group(file.get(), prev.c_str())) {
    g_key_file_set_string(file.get(), prev.c_str(), "HWND", "0");
    g_key_file_set_string(file.get(), prev.c_str(), "WorkDirectory", "");
    changed = true;
  }
  if (!g_key_file_has_group(file.get(), chmFile.c_str()) && Utf8(helpPath)) {
    g_key_file_set_string(file.get(), chmFile.c_str(), "HelpPath", std::string(helpPath).c_str());
    changed = true;
  }
  return !changed || Save(file.get(), path_);
}

std::optional<std::string> KeyValueStore::Read(std::string_view key, std::string_view name) const {
  KeyFile file = Load(path_);
  if (!file) return std::nullopt;
  gchar* value =
      g_key_file_get_string(file.get(), std::string(key).c_str(), std::string(name).c_str(), nullptr);
  if (value == nullptr) return std::nullopt;
  std::string text(value);
  g_free(value);
  return text;
}

bool KeyValueStore::Write(std::string_view key, std::string_view name, std::string_view value) {
  if (!Utf8(value) || value.find('\0') != std::string_view::npos) return false;
  KeyFile file = Load(path_);
  const std::string group(key);
  if (!file || !g_key_file_has_group(file.get(), group.c_str())) return false;
  g_key_file_set_string(file.get(), group.c_str(), std::string(name).c_str(), std::string(value).c_str());
  return Save(file.get(), path_);
}

}  // namespace tessaly::app::gtk
