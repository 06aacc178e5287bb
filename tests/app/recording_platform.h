// A Platform that records what the reader's logic does to its window, and
// lets tests act as the person in front of it. Several readers share one
// Desktop: the store, the instance channel and the temporary root, so that
// two readers can hand a book over to each other inside one test.
//
// The recorder is strict where a real toolkit would be: addressing a
// control that does not exist, marking a menu item that cannot carry that
// mark, or creating a control twice fails the test. Input reaches the
// Reader only the way a person could give it: a disabled menu bar, button
// or page view takes no taps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform.h"
#include "app/reader.h"
#include "app/resources.h"
#include "codec/iconv_codec.h"
#include "pages/page_cache.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly::app::test {

class RecordingPlatform;

// What several readers of one user share.
struct Desktop {
  explicit Desktop(std::string root) : tempRoot(std::move(root)) {}

  std::string tempRoot;
  // Keys that exist, with their values; a key absent here does not exist.
  std::map<StoreKey, std::map<std::string, std::string>> store{{StoreKey::kPrev, {{"HWND", "0"}}}};
  std::map<InstanceId, RecordingPlatform*> readers;  // readers with a window
  std::map<InstanceId, std::string> foreign;         // running readers known only by id and title
  InstanceId nextId = 7001;
  std::vector<std::string> events;  // across readers: "raise 7001", "close 7001"
};

struct RecordedMenuItem {
  int command = 0;
  std::string text;
  MenuMark mark = MenuMark::kNone;
  bool enabled = true;
  bool checked = false;
  std::vector<RecordedMenuItem> submenu;
  bool IsSeparator() const { return text.empty(); }
};

struct RecordedButton {
  int command = 0;
  int image = 0;
  bool enabled = true;
};

struct RecordedControl {
  std::string text;  // label or button text, entry text
  Rect rect;
  bool placed = false;
  bool visible = false;
  bool enabled = true;
  std::vector<std::string> lines;
  int selection = -1;
  int top = 0;
};

struct RecordedTreeItem {
  TreeItem parent = 0;
  std::string text;
  int image = 0;
};

struct RecordedMessage {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::kError;
};

struct RecordedChoice {
  std::string title, prompt, confirm, cancel;
  std::vector<std::string> lines;
};

class RecordingPlatform : public Platform {
 public:
  explicit RecordingPlatform(Desktop& desktop) : desktop_(desktop) {}
  ~RecordingPlatform() override {
    if (own_ != 0) desktop_.readers.erase(own_);
  }

  void Attach(Reader& reader) { reader_ = &reader; }
  Reader& GetReader() { return *reader_; }

  // --- What the test sets up --------------------------------------------------
  Rect client{0, 0, 240, 294};
  int menuBarHeight = 26;
  bool failWindow = false;
  bool failPageView = false;
  std::optional<ScrollInfo> scroll;               // what PageScroll answers
  std::vector<std::optional<std::string>> files;  // ChooseFile answers, in turn (none left: cancel)
  std::vector<int> choices;                       // RunChoiceDialog answers, in turn (none left: -1)
  std::function<void()> duringPaint;              // input that arrives while the reader paints
  int charWidth = 6;
  int lineHeight = 13;

  // --- What was recorded --------------------------------------------------------
  bool windowCreated = false;
  bool windowDestroyed = false;
  std::string title;
  std::vector<std::string> titles;  // every title set, in order
  Cursor cursor = Cursor::kNormal;
  int paints = 0;
  int raised = 0;
  bool notifyIcon = false;
  bool menuBarCreated = false;
  bool menuBarEnabled = true;
  std::vector<std::string> menuLabels;
  std::vector<RecordedMenuItem> fileMenu;
  std::vector<RecordedMenuItem> helpMenu;
  std::vector<RecordedButton> buttons;
  std::vector<std::string> tips;
  std::map<Control, RecordedControl> controls;
  std::optional<Control> focus;
  std::vector<Control> focusLog;
  bool treeLines = false;
  std::map<TreeItem, RecordedTreeItem> treeItems;
  std::vector<TreeItem> treeOrder;  // in insertion order
  TreeItem treeSelection = 0;
  std::vector<TreeItem> treeSelections;
  bool pageViewCreated = false;
  std::vector<std::string> navigations;
  std::vector<int> zoomLevels;
  std::vector<bool> shrinkToFit;
  std::vector<bool> clearType;
  std::vector<RecordedMessage> messages;
  std::optional<std::string> notice;  // the notice above the page, while shown
  int noticesShown = 0;
  std::vector<std::pair<std::string, std::string>> fileDialogs;
  std::vector<RecordedChoice> choiceDialogs;
  std::vector<std::string> aboutBoxes;
  bool progressVisible = false;
  std::string progressCaption;
  std::vector<int> progressValues;
  std::vector<std::string> progressLog;  // "show <caption>", "<value>", "hide"
  std::vector<std::string> opened;       // OpenExternal
  std::vector<std::string> log;          // every call, in order, for ordering checks

  // --- Platform -----------------------------------------------------------------
  bool CreateMainWindow(std::string_view text) override {
    log.push_back("CreateMainWindow");
    if (failWindow) return false;
    windowCreated = true;
    SetTitle(text);
    own_ = desktop_.nextId++;
    desktop_.readers[own_] = this;
    return true;
  }
  void DestroyMainWindow() override {
    log.push_back("DestroyMainWindow");
    windowDestroyed = true;
    desktop_.readers.erase(own_);
  }
  void SetTitle(std::string_view text) override {
    title = std::string(text);
    titles.push_back(title);
  }
  void SetCursor(Cursor c) override { cursor = c; }
  void PaintNow() override {
    ++paints;
    if (duringPaint) duringPaint();
  }
  Rect ClientRect() const override { return client; }
  int MenuBarHeight() const override { return menuBarHeight; }
  void BringToFront() override {
    ++raised;
    log.push_back("BringToFront");
  }
  void AddNotifyIcon() override { notifyIcon = true; }
  void RemoveNotifyIcon() override { notifyIcon = false; }

  void CreateMenuBar(std::span<const MenuButton> menus) override {
    log.push_back("CreateMenuBar");
    menuBarCreated = true;
    buttons.clear();
    menuLabels.clear();
    for (const MenuButton& menu : menus) {
      menuLabels.emplace_back(menu.label);
      buttons.push_back({menu.id, -1, true});
      std::vector<RecordedMenuItem> items;
      for (const MenuItem& item : menu.items) items.push_back(Copy(item));
      if (menu.id == kFileMenuButton) fileMenu = items;
      if (menu.id == kHelpMenuButton) helpMenu = items;
    }
  }
  void DestroyMenuBar() override {
    log.push_back("DestroyMenuBar");
    menuBarCreated = false;
  }
  void InsertFileMenuItem(int position, const MenuItem& item) override {
    if (position < 0 || position > static_cast<int>(fileMenu.size())) {
      fileMenu.push_back(Copy(item));
    } else {
      fileMenu.insert(fileMenu.begin() + position, Copy(item));
    }
  }
  bool DeleteFileMenuItemAt(int position) override {
    if (position < 0 || position >= static_cast<int>(fileMenu.size())) return false;
    fileMenu.erase(fileMenu.begin() + position);
    return true;
  }
  bool DeleteFileMenuCommand(int command) override {
    for (auto it = fileMenu.begin(); it != fileMenu.end(); ++it) {
      if (it->command == command && command != 0) {
        fileMenu.erase(it);
        return true;
      }
    }
    return false;
  }
  void EnableFileMenuItemAt(int position, bool enabled) override {
    if (position >= 0 && position < static_cast<int>(fileMenu.size())) fileMenu[position].enabled = enabled;
  }
  void CheckMenuItem(int command, bool checked) override {
    if (RecordedMenuItem* item = FindItem(command)) {
      EXPECT_EQ(item->mark, MenuMark::kCheck) << "check mark on item " << command;
      item->checked = checked;
    }
  }
  void CheckMenuRadio(int first, int last, int command) override {
    for (int c = first; c <= last; ++c) {
      if (RecordedMenuItem* item = FindItem(c)) {
        EXPECT_EQ(item->mark, MenuMark::kRadio) << "radio mark on item " << c;
        item->checked = c == command;
      }
    }
  }
  void EnableMenuBar(bool enabled) override { menuBarEnabled = enabled; }
  void AddToolButtons(std::span<const ToolButton> added) override {
    for (const ToolButton& b : added) buttons.push_back({b.command, b.image, b.enabled});
  }
  int ToolButtonCount() const override { return static_cast<int>(buttons.size()); }
  bool DeleteToolButton(int index) override {
    EXPECT_GE(index, kFirstToolButton) << "the menus are not tool buttons";
    if (index < kFirstToolButton || index >= static_cast<int>(buttons.size())) return false;
    buttons.erase(buttons.begin() + index);
    return true;
  }
  void SetToolButtonImage(int command, int image) override {
    if (RecordedButton* b = FindButton(command)) b->image = image;
  }
  void EnableToolButton(int command, bool enabled) override {
    if (RecordedButton* b = FindButton(command)) b->enabled = enabled;
  }
  void SetToolTips(std::span<const std::string> list) override {
    tips.assign(list.begin(), list.end());
    EXPECT_EQ(tips.size(), buttons.size()) << "one tip per button";
  }

  void CreateControl(Control control, std::string_view text) override {
    EXPECT_NE(KindOf(control), ControlKind::kTree);
    EXPECT_NE(KindOf(control), ControlKind::kPageView);
    Make(control, text);
  }
  void DestroyControl(Control control) override {
    EXPECT_TRUE(controls.count(control)) << "destroying a control that does not exist";
    controls.erase(control);
    if (focus == control) focus.reset();
    if (control == Control::kTree) {
      treeItems.clear();
      treeOrder.clear();
      treeSelection = 0;
    }
    if (control == Control::kPageView) pageViewCreated = false;
  }
  void MoveControl(Control control, const Rect& rect) override {
    RecordedControl& c = Get(control);
    c.rect = rect;
    c.placed = true;
  }
  void ShowControl(Control control, bool visible) override { Get(control).visible = visible; }
  void EnableControl(Control control, bool enabled) override { Get(control).enabled = enabled; }
  void FocusControl(Control control) override {
    Get(control);
    focus = control;
    focusLog.push_back(control);
  }
  std::optional<Control> FocusedControl() const override { return focus; }
  Size MeasureText(Control control, std::string_view text) const override {
    EXPECT_TRUE(controls.count(control)) << "measuring in a control that does not exist";
    return Size{charWidth * static_cast<int>(text.size()), lineHeight};
  }

  void CreateTree(bool withLines) override {
    Make(Control::kTree, "");
    treeLines = withLines;
  }
  TreeItem TreeInsert(TreeItem parent, std::string_view text, int image) override {
    Get(Control::kTree);
    if (parent != 0) {
      EXPECT_TRUE(treeItems.count(parent)) << "inserting under an unknown item";
    }
    const TreeItem item = nextItem_++;
    treeItems[item] = RecordedTreeItem{parent, std::string(text), image};
    treeOrder.push_back(item);
    return item;
  }
  void TreeSetImage(TreeItem item, int image) override { Item(item).image = image; }
  int TreeImage(TreeItem item) const override {
    const auto found = treeItems.find(item);
    EXPECT_TRUE(found != treeItems.end());
    return found == treeItems.end() ? 0 : found->second.image;
  }
  void TreeSelect(TreeItem item) override {
    Item(item);
    treeSelection = item;
    treeSelections.push_back(item);
  }
  TreeItem TreeSelection() const override { return treeSelection; }

  void ListAppend(Control list, std::string_view text) override { List(list).lines.emplace_back(text); }
  void ListClear(Control list) override {
    RecordedControl& c = List(list);
    c.lines.clear();
    c.selection = -1;
    c.top = 0;
  }
  void ListSelect(Control list, int index) override { List(list).selection = index; }
  int ListSelection(Control list) const override {
    const auto found = controls.find(list);
    EXPECT_TRUE(found != controls.end());
    return found == controls.end() ? -1 : found->second.selection;
  }
  void ListScrollToTop(Control list, int index) override { List(list).top = index; }

  std::string EditText(Control edit) const override {
    const auto found = controls.find(edit);
    EXPECT_TRUE(found != controls.end());
    return found == controls.end() ? std::string() : found->second.text;
  }
  void SetEditText(Control edit, std::string_view text) override {
    EXPECT_EQ(KindOf(edit), ControlKind::kEdit);
    Get(edit).text = std::string(text);
    reader_->OnControlEvent(edit, ControlEvent::kTextChanged);
  }

  bool CreatePageView() override {
    log.push_back("CreatePageView");
    if (failPageView) return false;
    Make(Control::kPageView, "");
    pageViewCreated = true;
    return true;
  }
  void Navigate(std::string_view address) override {
    Get(Control::kPageView);
    navigations.emplace_back(address);
    log.push_back("Navigate " + std::string(address));
  }
  void SetZoomLevel(int level) override { zoomLevels.push_back(level); }
  void SetShrinkToFit(bool on) override { shrinkToFit.push_back(on); }
  void SetClearType(bool on) override { clearType.push_back(on); }
  std::optional<ScrollInfo> PageScroll() const override { return scroll; }

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
    messages.push_back({std::string(text), std::string(caption), icon});
    log.push_back("Message " + std::string(caption));
  }
  void ShowNotice(std::string_view text) override {
    notice = std::string(text);
    ++noticesShown;
  }
  void HideNotice() override { notice.reset(); }
  std::optional<std::string> ChooseFile(std::string_view filterName, std::string_view pattern) override {
    fileDialogs.emplace_back(filterName, pattern);
    if (files.empty()) return std::nullopt;
    std::optional<std::string> answer = files.front();
    files.erase(files.begin());
    return answer;
  }
  int RunChoiceDialog(const ChoiceDialog& dialog) override {
    choiceDialogs.push_back({std::string(dialog.title), std::string(dialog.prompt), std::string(dialog.confirm),
                             std::string(dialog.cancel), std::vector<std::string>(dialog.lines.begin(),
                                                                                  dialog.lines.end())});
    if (choices.empty()) return -1;
    const int answer = choices.front();
    choices.erase(choices.begin());
    return answer;
  }
  void ShowAbout(const AboutBox& about) override {
    aboutBoxes.push_back(std::string(about.name) + "|" + std::string(about.link) + "|" +
                         std::string(about.version) + "|" + std::string(about.button));
  }
  void ShowProgress(std::string_view caption) override {
    progressVisible = true;
    progressCaption = std::string(caption);
    progressLog.push_back("show " + progressCaption);
  }
  void SetProgressBar(int value) override {
    EXPECT_TRUE(progressVisible) << "progress set while hidden";
    progressValues.push_back(value);
    progressLog.push_back(std::to_string(value));
  }
  void HideProgress() override {
    progressVisible = false;
    progressLog.push_back("hide");
  }

  std::optional<std::string> ReadStoreValue(StoreKey key, std::string_view name) override {
    const auto found = desktop_.store.find(key);
    if (found == desktop_.store.end()) return std::nullopt;
    const auto value = found->second.find(std::string(name));
    if (value == found->second.end()) return std::nullopt;
    return value->second;
  }
  bool WriteStoreValue(StoreKey key, std::string_view name, std::string_view value) override {
    const auto found = desktop_.store.find(key);
    if (found == desktop_.store.end()) return false;
    found->second[std::string(name)] = std::string(value);
    log.push_back("Store " + std::string(name) + "=" + std::string(value));
    return true;
  }

  InstanceId OwnInstance() const override { return own_; }
  InstanceId FindReader() override {
    for (const auto& [id, platform] : desktop_.readers) {
      if (id != own_) return id;
    }
    return desktop_.foreign.empty() ? 0 : desktop_.foreign.begin()->first;
  }
  InstanceId FindReaderByTitle(std::string_view text) override {
    for (const auto& [id, platform] : desktop_.readers) {
      if (id != own_ && platform->title == text) return id;
    }
    for (const auto& [id, foreignTitle] : desktop_.foreign) {
      if (foreignTitle == text) return id;
    }
    return 0;
  }
  bool ReaderExists(InstanceId id) override { return desktop_.readers.count(id) || desktop_.foreign.count(id); }
  void RaiseReader(InstanceId id) override {
    desktop_.events.push_back("raise " + std::to_string(id));
    const auto found = desktop_.readers.find(id);
    if (found != desktop_.readers.end()) found->second->BringToFront();
  }
  void CloseReader(InstanceId id) override {
    desktop_.events.push_back("close " + std::to_string(id));
    const auto found = desktop_.readers.find(id);
    if (found != desktop_.readers.end()) {
      RecordingPlatform* other = found->second;
      other->reader_->OnClose();
    } else if (desktop_.foreign.erase(id) != 0) {
      // A reader known only by id closes as a reader does: it clears the
      // values when they still name it.
      auto& prev = desktop_.store[StoreKey::kPrev];
      if (prev["HWND"] == std::to_string(id)) {
        prev["HWND"] = "0";
        prev["WorkDirectory"] = "";
      }
    }
  }

  bool OpenExternal(std::string_view address) override {
    opened.emplace_back(address);
    return true;
  }
  std::string TempRoot() override { return desktop_.tempRoot; }
  const TextCodec& Codec() const override { return codec_; }

  // --- A person at the window -----------------------------------------------------
  // A menu item or tool button, when it exists and takes taps.
  bool Click(int command) {
    if (!menuBarEnabled) return false;
    const RecordedMenuItem* item = FindItem(command);
    const RecordedButton* button = FindButton(command);
    const bool clickable = (item != nullptr && item->enabled && ParentEnabled(command)) ||
                           (button != nullptr && button->enabled && command < kFileMenuButton);
    if (!clickable) return false;
    reader_->OnCommand(command);
    return true;
  }
  void Type(Control edit, std::string_view text) {
    ASSERT_TRUE(Visible(edit)) << "typing into a hidden entry";
    Get(edit).text = std::string(text);
    reader_->OnControlEvent(edit, ControlEvent::kTextChanged);
  }
  void SelectLine(Control list, int index) {
    ASSERT_TRUE(Visible(list));
    ASSERT_LT(index, static_cast<int>(List(list).lines.size()));
    List(list).selection = index;
    reader_->OnControlEvent(list, ControlEvent::kSelectionChanged);
  }
  void DoubleClickLine(Control list, int index) {
    SelectLine(list, index);
    reader_->OnControlEvent(list, ControlEvent::kDoubleClicked);
  }
  void PressEnter(Control edit) {
    ASSERT_TRUE(Visible(edit)) << "Enter in a hidden entry";
    reader_->OnControlEvent(edit, ControlEvent::kActivated);
  }
  bool Press(Control button) {
    const auto found = controls.find(button);
    if (found == controls.end() || !found->second.visible || !found->second.enabled) return false;
    reader_->OnControlEvent(button, ControlEvent::kClicked);
    return true;
  }
  void TapTreeItem(TreeItem item) {
    ASSERT_TRUE(Visible(Control::kTree));
    reader_->OnTreeTap(item);
  }
  void PressEnterInTree() { reader_->OnTreeEnter(); }
  // The expander: the tree expands on its own and tells the reader first.
  void ToggleTreeItem(TreeItem item, bool expanding) { reader_->OnTreeExpanding(item, expanding); }
  bool TapLink(std::string_view link) {
    const auto found = controls.find(Control::kPageView);
    if (found == controls.end() || !found->second.visible || !found->second.enabled) return false;
    reader_->OnLinkTapped(link);
    return true;
  }
  // The view has loaded what it was last told to.
  void Complete() { reader_->OnDocumentComplete(); }
  // A key pressed in the page view; returns whether the view acted on it.
  // The action key's own Enter follows on the same press, as a handheld
  // delivers it, when the reader moved the focus into the tree.
  bool PressPageKey(PageKey key) {
    const bool passedOn = reader_->OnPageKey(key);
    if (key == PageKey::kAction && !passedOn && focus == Control::kTree) reader_->OnTreeEnter();
    return passedOn;
  }

  // --- Questions tests ask ------------------------------------------------------------
  bool Exists(Control control) const { return controls.count(control) != 0; }
  bool Visible(Control control) const {
    const auto found = controls.find(control);
    return found != controls.end() && found->second.visible;
  }
  const RecordedControl& At(Control control) const { return controls.at(control); }
  // The visible panel controls, by name.
  std::vector<Control> VisibleControls() const {
    std::vector<Control> shown;
    for (const auto& [control, c] : controls) {
      if (c.visible) shown.push_back(control);
    }
    return shown;
  }
  // The File menu as a person reads it: "---" for a separator, "[x] " or
  // "[ ] " before a check item, "(*) " or "( ) " before a radio item, "~"
  // before a disabled item.
  std::vector<std::string> FileMenuText() const { return Describe(fileMenu); }
  std::vector<std::string> HelpMenuText() const { return Describe(helpMenu); }
  std::vector<std::string> TextSizeMenuText() const {
    for (const RecordedMenuItem& item : fileMenu) {
      if (!item.submenu.empty()) return Describe(item.submenu);
    }
    return {};
  }
  std::vector<int> ButtonCommands() const {
    std::vector<int> commands;
    for (const RecordedButton& b : buttons) commands.push_back(b.command);
    return commands;
  }
  const RecordedButton* FindButton(int command) const {
    for (const RecordedButton& b : buttons) {
      if (b.command == command) return &b;
    }
    return nullptr;
  }
  const RecordedMenuItem* FindItem(int command) const { return FindIn(fileMenu, command, helpMenu); }
  RecordedMenuItem* FindItem(int command) {
    return const_cast<RecordedMenuItem*>(static_cast<const RecordingPlatform*>(this)->FindItem(command));
  }
  RecordedButton* FindButton(int command) {
    return const_cast<RecordedButton*>(static_cast<const RecordingPlatform*>(this)->FindButton(command));
  }
  // The tree item whose text is `text` (the first in insertion order).
  TreeItem TreeItemNamed(std::string_view text) const {
    for (TreeItem item : treeOrder) {
      if (treeItems.at(item).text == text) return item;
    }
    return 0;
  }
  std::string LastNavigation() const { return navigations.empty() ? std::string() : navigations.back(); }

 private:
  static RecordedMenuItem Copy(const MenuItem& item) {
    RecordedMenuItem copy;
    copy.command = item.command;
    copy.text = std::string(item.text);
    copy.mark = item.mark;
    copy.enabled = item.enabled;
    copy.checked = item.checked;
    for (const MenuItem& sub : item.submenu) copy.submenu.push_back(Copy(sub));
    return copy;
  }
  static std::vector<std::string> Describe(const std::vector<RecordedMenuItem>& items) {
    std::vector<std::string> out;
    for (const RecordedMenuItem& item : items) {
      std::string line = item.enabled ? "" : "~";
      if (item.IsSeparator()) {
        out.push_back(line + "---");
        continue;
      }
      if (item.mark == MenuMark::kCheck) line += item.checked ? "[x] " : "[ ] ";
      if (item.mark == MenuMark::kRadio) line += item.checked ? "(*) " : "( ) ";
      out.push_back(line + item.text);
    }
    return out;
  }
  static const RecordedMenuItem* FindIn(const std::vector<RecordedMenuItem>& items, int command,
                                        const std::vector<RecordedMenuItem>& more) {
    for (const std::vector<RecordedMenuItem>* list : {&items, &more}) {
      for (const RecordedMenuItem& item : *list) {
        if (item.command == command && command != 0) return &item;
        for (const RecordedMenuItem& sub : item.submenu) {
          if (sub.command == command) return &sub;
        }
      }
    }
    return nullptr;
  }
  // A sub-menu item takes taps only while its sub-menu's item is enabled.
  bool ParentEnabled(int command) const {
    for (const std::vector<RecordedMenuItem>* list : {&fileMenu, &helpMenu}) {
      for (const RecordedMenuItem& item : *list) {
        for (const RecordedMenuItem& sub : item.submenu) {
          if (sub.command == command) return item.enabled;
        }
      }
    }
    return true;
  }
  void Make(Control control, std::string_view text) {
    EXPECT_FALSE(controls.count(control)) << "control created twice";
    RecordedControl c;
    c.text = KindOf(control) == ControlKind::kEdit ? std::string() : std::string(text);
    controls[control] = c;
  }
  RecordedControl& Get(Control control) {
    const auto found = controls.find(control);
    EXPECT_TRUE(found != controls.end()) << "control " << static_cast<int>(control) << " does not exist";
    return controls[control];
  }
  RecordedControl& List(Control control) {
    EXPECT_EQ(KindOf(control), ControlKind::kList);
    return Get(control);
  }
  RecordedTreeItem& Item(TreeItem item) {
    EXPECT_TRUE(treeItems.count(item)) << "unknown tree item " << item;
    return treeItems[item];
  }

  Desktop& desktop_;
  Reader* reader_ = nullptr;
  InstanceId own_ = 0;
  TreeItem nextItem_ = 1;
  IconvCodec codec_;
};

// One reader on a desktop: its platform and its logic, wired together.
struct Session {
  explicit Session(Desktop& desktop) : platform(desktop), reader(platform) { platform.Attach(reader); }
  RecordingPlatform platform;
  Reader reader;
};

// Books built byte by byte, for what the compiled test books do not show.
// #SYSTEM records: 0 contents file, 1 index file, 2 default topic, 3 title
// (texts end in NUL), 4 language id (4 bytes).
inline std::string SystemObject(const std::vector<std::pair<int, std::string>>& records) {
  std::vector<std::uint8_t> out;
  tessaly::test::Append32(out, 3);
  for (const auto& [code, data] : records) {
    tessaly::test::Append16(out, static_cast<std::uint16_t>(code));
    tessaly::test::Append16(out, static_cast<std::uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
  }
  return std::string(out.begin(), out.end());
}
inline std::string Text(const std::string& text) { return text + '\0'; }
inline std::string LanguageRecord(std::uint32_t id) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((id >> (8 * i)) & 0xFF);
  return bytes;
}

// A built book written to a file that lives as long as the object.
struct BuiltBook {
  explicit BuiltBook(const tessaly::test::BookBuilder& builder, const std::string& suffix = ".chm")
      : file(builder.Build(), suffix) {}
  std::string Path() const { return file.Path(); }
  tessaly::test::TempFile file;
};

// A reader on a desktop of its own, whose temporary root is a fresh folder.
class ReaderTest : public ::testing::Test {
 protected:
  tessaly::test::TempDir root;
  Desktop desktop{root.Path()};
  std::unique_ptr<Session> session = std::make_unique<Session>(desktop);

  RecordingPlatform& ui() { return session->platform; }
  Reader& reader() { return session->reader; }

  // Starts the reader and lets the view finish loading the first page.
  bool Start(std::string_view commandLine = "") {
    const bool running = reader().Start(commandLine);
    if (reader().Busy()) ui().Complete();
    return running;
  }
  // Opens a book through File > Open and lets its first page load.
  void OpenThroughMenu(const std::string& path) {
    ui().files.push_back(path);
    ASSERT_TRUE(ui().Click(kCmdOpen));
    if (reader().Busy()) ui().Complete();
  }
  // The file name of the page the view was last told to load.
  std::string ShownFile() const {
    const std::string address = session->platform.LastNavigation();
    const std::size_t slash = address.rfind('/');
    return slash == std::string::npos ? address : address.substr(slash + 1);
  }
  // The in-book path of the page on screen.
  std::string CurrentPath() const {
    const PageCache* pages = session->reader.Pages();
    return pages == nullptr ? std::string() : pages->CurrentPagePath();
  }
};

}  // namespace tessaly::app::test
