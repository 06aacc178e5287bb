// PageHost: what page preparation asks of the reader (PagePlatform), answered
// by the Reader's page view and its platform.
#pragma once

#include <string_view>

#include "pages/page_platform.h"

namespace tessaly::app {

class Reader;

class PageHost : public PagePlatform {
 public:
  explicit PageHost(Reader& reader) : reader_(reader) {}

  bool OpenExternal(std::string_view address) override;
  void ReportMissingLink(std::string_view link) override;
  void ShowError(std::string_view message) override;
  void ReportMissingPart(std::string_view message) override;
  bool ShowPage(std::string_view link) override;
  bool ShowImages() const override;

 private:
  Reader& reader_;
};

}  // namespace tessaly::app
