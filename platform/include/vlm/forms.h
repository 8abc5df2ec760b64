// Forms, controls and the modal dialogs the plug-ins show.
//
// A form is a plain C++ class that holds its controls under the names the plug-in uses
// (txt(0), chkSF(2), optLOD(1), cmdOK, lstMat, ...). It knows nothing of drawing: ShowModal
// hands it to the current dialog back-end, which returns when the form hides. Message boxes,
// the input box, the common file and colour dialogs and help go through the same back-end.
//
// Properties behave as the plug-ins expect of their dialogs: setting a value in code raises
// the control's event when the value changes (a check box's Click, a text field's or
// slider's Change, a list's Click), exactly as a person's change would.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace vlm {

class Form;

enum class ControlKind {
  TextBox,
  CheckBox,
  OptionButton,
  ListBox,
  ComboBox,
  Slider,
  TabStrip,
  Label,
  CommandButton,
  Frame,
  PictureBox,
  CommonDialog,
};
// "text box", "check box", ... as messages name the kinds (vlm/control_kinds.h says what else
// each kind means to a back-end).
const char* ControlKindName(ControlKind kind);

// Key codes used by key events.
namespace key {
inline constexpr int Tab = 9;
inline constexpr int Enter = 13;
inline constexpr int Escape = 27;
inline constexpr int F1 = 112;
}  // namespace key
// Shift state bits of key events.
namespace shift {
inline constexpr int Shift = 1;
inline constexpr int Ctrl = 2;
inline constexpr int Alt = 4;
}  // namespace shift

// A control registers itself with its form when constructed and leaves it when destroyed, so it
// must not outlive the form. Two controls of one form may not share a name and index (names
// compare without regard to case, as the plug-ins' dialogs did): vlm::Error (5).
class Control {
 public:
  Control(Form& form, ControlKind kind, std::string name, int index);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Form& Parent() const { return form_; }
  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  int Index() const { return index_; }  // -1 outside a control array
  std::string FullName() const;         // "txt(0)" or "cmdOK"

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  const std::string& ToolTipText() const { return toolTip_; }
  void SetToolTipText(std::string tip) { toolTip_ = std::move(tip); }
  const std::string& Tag() const { return tag_; }
  void SetTag(std::string tag) { tag_ = std::move(tag); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  int Left() const { return left_; }
  void SetLeft(int left) { left_ = left; }
  int Top() const { return top_; }
  void SetTop(int top) { top_ = top; }
  // The frame or panel that holds the control, nullptr for the form itself.
  Control* Container() const { return container_; }
  void SetContainer(Control* container) { container_ = container; }

  // Events common to every control.
  std::function<void()> Click;
  std::function<void()> LostFocus;

  // Asks the back-end to show the control's current state at once.
  void Refresh();

 private:
  Form& form_;
  ControlKind kind_;
  std::string name_;
  int index_;
  std::string caption_, toolTip_, tag_;
  bool enabled_ = true, visible_ = true;
  int left_ = 0, top_ = 0;
  Control* container_ = nullptr;
};

class Label : public Control {
 public:
  Label(Form& form, std::string name, int index = -1);
  // The control the label names or shows the value of; a back-end that lays the form out puts
  // the two side by side. nullptr when it stands alone.
  const Control* Buddy() const { return buddy_; }
  void SetBuddy(const Control* buddy) { buddy_ = buddy; }

 private:
  const Control* buddy_ = nullptr;
};

class Frame : public Control {
 public:
  Frame(Form& form, std::string name, int index = -1);
};

class CommandButton : public Control {
 public:
  CommandButton(Form& form, std::string name, int index = -1);
  // Enter presses the default button; Escape the cancel button.
  bool Default = false;
  bool Cancel = false;
};

class TextBox : public Control {
 public:
  TextBox(Form& form, std::string name, int index = -1);
  const std::string& Text() const { return text_; }
  void SetText(std::string text);  // raises Change when the text differs
  std::function<void()> Change;

  // How the plug-in read the text the last time it did ("0" for "abc" read as a number), so a
  // back-end can show it; `readable` is false when the entry rules could not read it at all.
  void NoteReading(std::string value, bool readable = true) {
    reading_ = std::move(value);
    readable_ = readable;
  }
  const std::optional<std::string>& Reading() const { return reading_; }
  void ForgetReading() { reading_.reset(), readable_ = true; }
  bool ReadingFailed() const { return reading_ && !readable_; }

 private:
  std::string text_;
  std::optional<std::string> reading_;
  bool readable_ = true;
};

class CheckBox : public Control {
 public:
  CheckBox(Form& form, std::string name, int index = -1);
  int Value() const { return value_; }  // 0 unchecked, 1 checked, 2 greyed
  void SetValue(int value);             // raises Click when the value differs

 private:
  int value_ = 0;
};

class OptionButton : public Control {
 public:
  OptionButton(Form& form, std::string name, int index = -1);
  bool Value() const { return value_; }
  // Selecting one clears the other option buttons of its group (its control array, or the
  // group named by SetGroup; the ungrouped option buttons of a form are one group) and raises
  // Click on it when it was not selected. Clearing one raises nothing.
  void SetValue(bool value);
  void SetGroup(std::string group) { group_ = std::move(group); }
  const std::string& Group() const { return group_; }

 private:
  bool value_ = false;
  std::string group_;
};

// A list box or a drop-down list.
class ListControl : public Control {
 public:
  ListControl(Form& form, ControlKind kind, std::string name, int index);
  void AddItem(std::string item);
  void RemoveItem(int index);
  void Clear();
  int ListCount() const { return static_cast<int>(items_.size()); }
  const std::string& List(int index) const;  // vlm::Error (9) outside the list
  const std::vector<std::string>& Items() const { return items_; }
  int ListIndex() const { return listIndex_; }  // -1 when nothing is selected
  // Raises Click when it changes; vlm::Error (5) outside -1..ListCount()-1.
  void SetListIndex(int index);
  // The selected entry, or "" (a drop-down list may also hold a text that is no entry).
  virtual std::string Text() const;
  int FindItem(std::string_view text) const;  // -1 when absent
  // What an entry stands for, shown beside it ("Steel" beside "2 steel.png") where the entry's
  // own text does not tell the entries apart; the entry's text alone is its value. "" for none.
  void SetItemNote(int index, std::string note);
  const std::string& ItemNote(int index) const;
  // How many entries were ever added: a back-end that shows a log compares it with what it
  // has shown so far.
  long long ItemsAdded() const { return itemsAdded_; }

 protected:
  std::vector<std::string> items_;
  std::vector<std::string> notes_;  // one per entry
  int listIndex_ = -1;
  long long itemsAdded_ = 0;
};

class ListBox : public ListControl {
 public:
  ListBox(Form& form, std::string name, int index = -1);
};

class ComboBox : public ListControl {
 public:
  ComboBox(Form& form, std::string name, int index = -1);
  // Sets the shown text: selects the equal entry when there is one, otherwise shows the text
  // with no entry selected. Raises Click when the selection changes.
  void SetText(std::string text);
  std::string Text() const override;

 private:
  std::string freeText_;
};

class Slider : public Control {
 public:
  Slider(Form& form, std::string name, int index = -1);
  int Value() const { return value_; }
  void SetValue(int value);  // kept within Min..Max; raises Change when it changes
  int Min() const { return min_; }
  int Max() const { return max_; }
  // Brings the value into the new range without raising Change; vlm::Error (5) when min > max.
  void SetRange(int min, int max);
  std::function<void()> Change;
  std::function<void()> Scroll;

 private:
  int value_ = 0, min_ = 0, max_ = 10;
};

class TabStrip : public Control {
 public:
  TabStrip(Form& form, std::string name, int index = -1);
  struct Tab {
    std::string caption;
    std::string toolTip;
    const Control* page = nullptr;  // the panel shown for the tab, when there is one
  };
  // Adding the first tab selects it (without raising Click).
  void AddTab(std::string caption, std::string toolTip = {});
  int TabCount() const { return static_cast<int>(tabs_.size()); }
  const Tab& TabAt(int index) const;  // 1-based, as the tab strip counts; vlm::Error (9)
  int SelectedIndex() const { return selected_; }  // 1-based; 0 with no tabs
  void SetSelectedIndex(int index);  // raises Click when it changes; vlm::Error (5) outside
  int FindTab(std::string_view caption) const;  // 1-based, 0 when absent
  // Names the panel that holds the tab's controls (1-based); vlm::Error (9) outside.
  void SetPage(int index, const Control& page);
  // The tab (1-based) whose page holds the control, directly or inside frames; 0 for none.
  int TabOf(const Control& control) const;

 private:
  std::vector<Tab> tabs_;
  int selected_ = 0;
};

// A drawing area. It records drawing commands that any back-end can render and tests can
// read; coordinates are in the user scale set by Scale.
struct DrawCommand {
  enum class Op { Scale, Clear, Line, Rectangle, FillColor, ForeColor } op;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // Scale: left, top, width, height
  int32_t color = 0;                      // FillColor, ForeColor
};

class PictureBox : public Control {
 public:
  PictureBox(Form& form, std::string name, int index = -1);
  int32_t BackColor() const { return backColor_; }
  void SetBackColor(int32_t color) { backColor_ = color; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int width, int height) { width_ = width, height_ = height; }
  // The picture shown (a file), or "" for none.
  const std::string& Picture() const { return picture_; }
  void SetPicture(std::string file) { picture_ = std::move(file); }

  // vlm::Error (5) for a zero or non-finite width or height.
  void Scale(double left, double top, double width, double height);
  void Cls();  // clears the drawing (the command list restarts with the current scale)
  void Line(double x1, double y1, double x2, double y2);
  void Box(double x1, double y1, double x2, double y2);  // a rectangle between two corners
  void SetFillColor(int32_t color);
  void SetForeColor(int32_t color);
  const std::vector<DrawCommand>& Commands() const { return commands_; }

 private:
  int32_t backColor_ = 0xFFFFFF;
  int width_ = 320, height_ = 240;
  std::string picture_;
  std::vector<DrawCommand> commands_;
  std::optional<DrawCommand> scale_;  // the last Scale, kept across Cls
};

// The common file and colour dialogs, as a control on a form.
class CommonDialog : public Control {
 public:
  CommonDialog(Form& form, std::string name, int index = -1);
  enum Flag : int32_t {
    NoChangeDir = 8,
    FileMustExist = 0x1000,
    OverwritePrompt = 2,
    RgbInit = 1,
  };
  int32_t Flags = 0;  // Flag values, or-ed together
  std::string FileName;
  std::string Filter;
  std::string DefaultExt;
  std::string DialogTitle;
  int32_t Color = 0;
  // Each returns false when the user cancels (FileName or Color unchanged).
  bool ShowOpen();
  bool ShowSave();
  bool ShowColor();
};

// A control array: chkSF(0), chkSF(1), ... with one handler for the whole array.
template <class T>
class ControlArray {
 public:
  ControlArray(Form& form, std::string name, int count) {
    for (int i = 0; i < count; ++i)
      items_.push_back(std::make_unique<T>(form, name, i));
    if constexpr (std::is_same_v<T, OptionButton>) {
      for (auto& item : items_)
        item->SetGroup(name);
    }
  }
  T& operator()(int index) const { return *items_.at(static_cast<size_t>(index)); }
  int Count() const { return static_cast<int>(items_.size()); }
  // Handlers for the whole array, called with the index of the control.
  void OnClick(std::function<void(int)> handler) { Bind(&T::Click, std::move(handler)); }
  void OnChange(std::function<void(int)> handler) { Bind(&T::Change, std::move(handler)); }
  void OnLostFocus(std::function<void(int)> handler) { Bind(&T::LostFocus, std::move(handler)); }

 private:
  void Bind(std::function<void()> T::*event, std::function<void(int)> handler);
  std::vector<std::unique_ptr<T>> items_;
};

class Form {
 public:
  explicit Form(std::string name);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& Name() const { return name_; }  // frmOptions
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  // Key presses reach the form's KeyDown before its controls when set.
  bool KeyPreview = false;

  // Loads the form (raises Load once).
  void Load();
  bool IsLoaded() const { return loaded_; }
  // Loads the form if needed and shows it modally: returns when the form hides or unloads.
  // vlm::Error (5) when it is already shown; the form is hidden again if the back-end throws.
  void ShowModal();
  void Hide();
  bool IsShown() const { return shown_; }
  // Leaves the form unloaded and hidden, then raises Unload (its controls keep their last
  // state). Nothing happens to a form that is not loaded.
  void Unload();

  // Every control, in the order they were created.
  const std::vector<Control*>& Controls() const { return controls_; }
  // The control with this name and index (-1 outside an array), or nullptr.
  Control* FindControl(std::string_view name, int index = -1) const;

  std::function<void()> OnLoad;
  std::function<void()> OnUnload;
  std::function<void(int keyCode, int shiftState)> KeyDown;

  // The remembered settings the Load handler took, each with the control it went into (its
  // full name, else the setting's section and key) and the remembered text: what a back-end
  // reports as the form opens. Taking them leaves none.
  struct Remembered {
    std::string where, value;
  };
  std::vector<Remembered> TakeRemembered() { return std::exchange(remembered_, {}); }

 private:
  friend class Control;
  void Register(Control* control);
  void Unregister(const Control* control);
  std::string name_, caption_;
  bool loaded_ = false, shown_ = false;
  std::vector<Control*> controls_;
  std::vector<Remembered> remembered_;
};

// ---- message box, input box, help -----------------------------------------------------------
namespace mb {
// Buttons
inline constexpr int OKOnly = 0;
inline constexpr int OKCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
// Icons
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
// Answers
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
}  // namespace mb

// Shows a message box; returns the answer. An empty title means the default caption.
int MsgBox(const std::string& prompt, int buttons = mb::OKOnly, const std::string& title = {});
// Shows the input box; returns the answer, or "" when it is cancelled.
std::string InputBox(const std::string& prompt, const std::string& title = {},
                     const std::string& defaultAnswer = {});

// The help file of the plug-in's dialogs (set at the start of each run) and F1.
void SetHelpFile(std::string file);
const std::string& HelpFile();
void ShowHelp();

// ---- the back-end ---------------------------------------------------------------------------
struct MessageBoxRequest {
  std::string prompt, title;  // an empty title: the back-end's default caption
  int buttons = mb::OKOnly;
};
struct InputBoxRequest {
  std::string prompt, title, defaultAnswer;
};
struct FileDialogRequest {
  bool save = false;
  std::string title, fileName, filter, defaultExt;
  int32_t flags = 0;
};

// What shows forms and dialogs. The host chooses one at start-up; every plug-in's forms go
// through it.
class DialogBackend {
 public:
  virtual ~DialogBackend() = default;
  // Shows the (loaded) form and returns when it is no longer shown.
  virtual void RunModal(Form& form) = 0;
  virtual int MessageBox(const MessageBoxRequest& request) = 0;
  // nullopt when cancelled.
  virtual std::optional<std::string> InputBox(const InputBoxRequest& request) = 0;
  virtual std::optional<std::string> FileDialog(const FileDialogRequest& request) = 0;
  virtual std::optional<int32_t> ColorDialog(int32_t initial) = 0;
  virtual void ShowHelp(const std::string& helpFile) = 0;
  // A control asks to be shown at once (a log list that just received a line).
  virtual void Repaint(const Control& control) = 0;
};

// The back-end of the run context installed (a scripted one that accepts every dialog when
// none was set): the host and the plug-in of one run share it.
DialogBackend& CurrentDialogBackend();
// Installs a back-end in the run context installed; returns the previous one (nullptr when the
// default was never made). nullptr installs a fresh default back-end on next use.
std::shared_ptr<DialogBackend> SetDialogBackend(std::shared_ptr<DialogBackend> backend);

// ---- template members -------------------------------------------------------------------------
template <class T>
void ControlArray<T>::Bind(std::function<void()> T::*event, std::function<void(int)> handler) {
  for (auto& item : items_) {
    int i = item->Index();
    (*item).*event = [handler, i] { handler(i); };
  }
}

}  // namespace vlm
