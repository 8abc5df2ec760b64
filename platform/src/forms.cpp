// Forms and controls: property changes raise the events a plug-in's dialog code expects, and
// everything that has to be shown goes through the dialog back-end of the run context installed.
#include "vlm/forms.h"

#include <algorithm>
#include <cmath>

#include "vlm/control_kinds.h"
#include "vlm/error.h"
#include "vlm/run_context.h"
#include "vlm/scripted_dialogs.h"
#include "vlm/settings.h"
#include "vlm/text.h"

namespace vlm {

namespace {

// "frmExport.lstLog": where a control's error happened.
std::string Where(const Control& control) {
  return control.Parent().Name() + "." + control.FullName();
}

// The current back-end, held for the length of one call.
std::shared_ptr<DialogBackend> Backend() {
  return RunContext::Current().Dialogs();
}

}  // namespace

// ---- Control ------------------------------------------------------------------------------

Control::Control(Form& form, ControlKind kind, std::string name, int index)
    : form_(form), kind_(kind), name_(std::move(name)), index_(index) {
  if (index_ < -1) {
    throw Error(err::InvalidProcedureCall, "form " + form_.Name() + ": control " + name_ +
                                               " cannot have the index " + std::to_string(index_));
  }
  if (form_.FindControl(name_, index_)) {
    throw Error(err::InvalidProcedureCall,
                "form " + form_.Name() + " already has a control named " + FullName());
  }
  form_.Register(this);
}

Control::~Control() {
  form_.Unregister(this);
}

std::string Control::FullName() const {
  return index_ >= 0 ? name_ + "(" + std::to_string(index_) + ")" : name_;
}

void Control::Refresh() {
  Backend()->Repaint(*this);
}

Label::Label(Form& form, std::string name, int index)
    : Control(form, ControlKind::Label, std::move(name), index) {}

Frame::Frame(Form& form, std::string name, int index)
    : Control(form, ControlKind::Frame, std::move(name), index) {}

CommandButton::CommandButton(Form& form, std::string name, int index)
    : Control(form, ControlKind::CommandButton, std::move(name), index) {}

// ---- TextBox, CheckBox, OptionButton ------------------------------------------------------

TextBox::TextBox(Form& form, std::string name, int index)
    : Control(form, ControlKind::TextBox, std::move(name), index) {}

void TextBox::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  if (Change) Change();
}

CheckBox::CheckBox(Form& form, std::string name, int index)
    : Control(form, ControlKind::CheckBox, std::move(name), index) {}

void CheckBox::SetValue(int value) {
  if (value < 0 || value > 2) {
    throw Error(err::InvalidProcedureCall,
                Where(*this) +
                    ": a check box's value is 0 (unticked), 1 (ticked) or 2 (greyed), "
                    "not " +
                    std::to_string(value));
  }
  if (value == value_) return;
  value_ = value;
  if (Click) Click();
}

OptionButton::OptionButton(Form& form, std::string name, int index)
    : Control(form, ControlKind::OptionButton, std::move(name), index) {}

void OptionButton::SetValue(bool value) {
  if (!value) {
    value_ = false;
    return;
  }
  if (value_) return;
  for (Control* control : Parent().Controls()) {
    if (control == this || control->Kind() != ControlKind::OptionButton) continue;
    auto* other = static_cast<OptionButton*>(control);
    if (other->group_ == group_) other->value_ = false;
  }
  value_ = true;
  if (Click) Click();
}

// ---- lists ----------------------------------------------------------------------------------

ListControl::ListControl(Form& form, ControlKind kind, std::string name, int index)
    : Control(form, kind, std::move(name), index) {}

void ListControl::AddItem(std::string item) {
  items_.push_back(std::move(item));
  notes_.emplace_back();
  ++itemsAdded_;
}

void ListControl::RemoveItem(int index) {
  if (index < 0 || index >= ListCount()) {
    throw Error(err::InvalidProcedureCall, Where(*this) + ": cannot remove entry " +
                                               std::to_string(index) + " of a list of " +
                                               std::to_string(ListCount()));
  }
  items_.erase(items_.begin() + index);
  notes_.erase(notes_.begin() + index);
  if (listIndex_ == index) {
    listIndex_ = -1;
  } else if (listIndex_ > index) {
    --listIndex_;
  }
}

void ListControl::Clear() {
  items_.clear();
  notes_.clear();
  listIndex_ = -1;
}

const std::string& ListControl::List(int index) const {
  if (index < 0 || index >= ListCount()) {
    throw Error(err::SubscriptOutOfRange, Where(*this) + ": there is no entry " +
                                              std::to_string(index) + " in a list of " +
                                              std::to_string(ListCount()));
  }
  return items_[static_cast<size_t>(index)];
}

void ListControl::SetItemNote(int index, std::string note) {
  List(index);  // an entry that is not there is the same error as reading it
  notes_[static_cast<size_t>(index)] = std::move(note);
}

const std::string& ListControl::ItemNote(int index) const {
  List(index);
  return notes_[static_cast<size_t>(index)];
}

void ListControl::SetListIndex(int index) {
  if (index < -1 || index >= ListCount()) {
    throw Error(err::InvalidProcedureCall, Where(*this) + ": list index " + std::to_string(index) +
                                               " is outside -1.." +
                                               std::to_string(ListCount() - 1));
  }
  if (index == listIndex_) return;
  listIndex_ = index;
  if (Click) Click();
}

std::string ListControl::Text() const {
  return listIndex_ >= 0 ? items_[static_cast<size_t>(listIndex_)] : std::string();
}

int ListControl::FindItem(std::string_view text) const {
  auto it = std::find(items_.begin(), items_.end(), text);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

ListBox::ListBox(Form& form, std::string name, int index)
    : ListControl(form, ControlKind::ListBox, std::move(name), index) {}

ComboBox::ComboBox(Form& form, std::string name, int index)
    : ListControl(form, ControlKind::ComboBox, std::move(name), index) {}

void ComboBox::SetText(std::string text) {
  int found = FindItem(text);
  // The free text is in place before Click runs, so the handler reads the new Text().
  if (found >= 0) {
    freeText_.clear();
  } else {
    freeText_ = std::move(text);
  }
  SetListIndex(found);
}

std::string ComboBox::Text() const {
  return listIndex_ >= 0 ? ListControl::Text() : freeText_;
}

// ---- Slider, TabStrip -----------------------------------------------------------------------

Slider::Slider(Form& form, std::string name, int index)
    : Control(form, ControlKind::Slider, std::move(name), index) {}

void Slider::SetValue(int value) {
  value = std::clamp(value, min_, max_);
  if (value == value_) return;
  value_ = value;
  if (Change) Change();
}

void Slider::SetRange(int min, int max) {
  if (min > max) {
    throw Error(err::InvalidProcedureCall, Where(*this) + ": the range " + std::to_string(min) +
                                               ".." + std::to_string(max) + " is empty");
  }
  min_ = min;
  max_ = max;
  value_ = std::clamp(value_, min_, max_);
}

TabStrip::TabStrip(Form& form, std::string name, int index)
    : Control(form, ControlKind::TabStrip, std::move(name), index) {}

void TabStrip::AddTab(std::string caption, std::string toolTip) {
  tabs_.push_back(Tab{std::move(caption), std::move(toolTip)});
  if (tabs_.size() == 1) selected_ = 1;
}

const TabStrip::Tab& TabStrip::TabAt(int index) const {
  if (index < 1 || index > TabCount()) {
    throw Error(err::SubscriptOutOfRange, Where(*this) + ": there is no tab " +
                                              std::to_string(index) + " (tabs are 1.." +
                                              std::to_string(TabCount()) + ")");
  }
  return tabs_[static_cast<size_t>(index - 1)];
}

void TabStrip::SetPage(int index, const Control& page) {
  TabAt(index);  // checks the index
  tabs_[static_cast<size_t>(index - 1)].page = &page;
}

int TabStrip::TabOf(const Control& control) const {
  for (const Control* c = &control; c; c = c->Container()) {
    for (size_t i = 0; i < tabs_.size(); ++i)
      if (tabs_[i].page == c) return static_cast<int>(i) + 1;
  }
  return 0;
}

void TabStrip::SetSelectedIndex(int index) {
  if (index == selected_) return;
  if (index < 1 || index > TabCount()) {
    throw Error(err::InvalidProcedureCall, Where(*this) + ": cannot select tab " +
                                               std::to_string(index) + " (tabs are 1.." +
                                               std::to_string(TabCount()) + ")");
  }
  selected_ = index;
  if (Click) Click();
}

int TabStrip::FindTab(std::string_view caption) const {
  for (size_t i = 0; i < tabs_.size(); ++i) {
    if (tabs_[i].caption == caption) return static_cast<int>(i) + 1;
  }
  return 0;
}

// ---- PictureBox -----------------------------------------------------------------------------

PictureBox::PictureBox(Form& form, std::string name, int index)
    : Control(form, ControlKind::PictureBox, std::move(name), index) {}

void PictureBox::Scale(double left, double top, double width, double height) {
  bool finite =
      std::isfinite(left) && std::isfinite(top) && std::isfinite(width) && std::isfinite(height);
  if (!finite || width == 0 || height == 0) {
    throw Error(err::InvalidProcedureCall,
                Where(*this) + ": a drawing scale needs a finite, non-zero width and height");
  }
  DrawCommand command{DrawCommand::Op::Scale, left, top, width, height};
  scale_ = command;
  commands_.push_back(command);
}

void PictureBox::Cls() {
  commands_.clear();
  if (scale_) commands_.push_back(*scale_);
  commands_.push_back(DrawCommand{DrawCommand::Op::Clear});
}

void PictureBox::Line(double x1, double y1, double x2, double y2) {
  commands_.push_back(DrawCommand{DrawCommand::Op::Line, x1, y1, x2, y2});
}

void PictureBox::Box(double x1, double y1, double x2, double y2) {
  commands_.push_back(DrawCommand{DrawCommand::Op::Rectangle, x1, y1, x2, y2});
}

void PictureBox::SetFillColor(int32_t color) {
  DrawCommand command{DrawCommand::Op::FillColor};
  command.color = color;
  commands_.push_back(command);
}

void PictureBox::SetForeColor(int32_t color) {
  DrawCommand command{DrawCommand::Op::ForeColor};
  command.color = color;
  commands_.push_back(command);
}

// ---- CommonDialog ---------------------------------------------------------------------------

CommonDialog::CommonDialog(Form& form, std::string name, int index)
    : Control(form, ControlKind::CommonDialog, std::move(name), index) {}

namespace {
bool ShowFileDialog(CommonDialog& dialog, bool save) {
  FileDialogRequest request;
  request.save = save;
  request.title = dialog.DialogTitle;
  request.fileName = dialog.FileName;
  request.filter = dialog.Filter;
  request.defaultExt = dialog.DefaultExt;
  request.flags = dialog.Flags;
  auto chosen = Backend()->FileDialog(request);
  if (!chosen) return false;
  dialog.FileName = std::move(*chosen);
  return true;
}
}  // namespace

bool CommonDialog::ShowOpen() {
  return ShowFileDialog(*this, false);
}
bool CommonDialog::ShowSave() {
  return ShowFileDialog(*this, true);
}

bool CommonDialog::ShowColor() {
  auto chosen = Backend()->ColorDialog(Color);
  if (!chosen) return false;
  Color = *chosen;
  return true;
}

// ---- Form -----------------------------------------------------------------------------------

Form::Form(std::string name) : name_(std::move(name)), caption_(name_) {}

Form::~Form() = default;

namespace {

// The control a remembered setting went into: one named by the key ("txt0" is txt(0),
// "Inside" is chkInside), else one the load gave exactly that text; else the setting itself.
std::string RememberedPlace(const Form& form,
                            const std::vector<std::optional<ControlValue>>& before,
                            const RememberedSetting& setting) {
  // Only a control that holds a value can hold a remembered one (not the label beside it).
  std::vector<const Control*> controls;
  for (const Control* control : form.Controls())
    if (ValueOf(*control)) controls.push_back(control);
  for (const Control* control : controls) {
    const std::string& name = control->Name();
    const std::string indexed =
        control->Index() < 0 ? name : name + std::to_string(control->Index());
    if (EqualsNoCase(indexed, setting.key)) return control->FullName();
  }
  for (const Control* control : controls) {
    const std::string& name = control->Name();  // a kind in three small letters, then the key
    const bool prefixed =
        name.size() > 3 &&
        std::all_of(name.begin(), name.begin() + 3, [](char c) { return c >= 'a' && c <= 'z'; });
    if (prefixed && EqualsNoCase(std::string_view(name).substr(3), setting.key))
      return control->Index() < 0 ? control->FullName() : name;
  }
  const auto& all = form.Controls();
  for (size_t i = 0; i < all.size() && i < before.size(); ++i) {
    const std::optional<ControlValue> now = ValueOf(*all[i]);
    if (now && now != before[i] && ValueText(*now) == setting.value) return all[i]->FullName();
  }
  return setting.section + "/" + setting.key;
}

}  // namespace

void Form::Load() {
  if (loaded_) return;
  loaded_ = true;
  if (!OnLoad) return;
  // What the handler takes from the settings file, and the values it starts from.
  TakeRememberedSettings();
  std::vector<std::optional<ControlValue>> before;
  for (const Control* control : controls_)
    before.push_back(ValueOf(*control));
  try {
    OnLoad();
  } catch (...) {
    loaded_ = false;  // a load that failed did not load the form
    throw;
  }
  remembered_.clear();
  for (const RememberedSetting& setting : TakeRememberedSettings())
    remembered_.push_back({RememberedPlace(*this, before, setting), setting.value});
}

void Form::ShowModal() {
  if (shown_) {
    throw Error(err::InvalidProcedureCall,
                "form " + name_ + " is already shown; it cannot be shown modally again");
  }
  Load();
  if (!loaded_) return;  // its Load handler unloaded it
  shown_ = true;
  auto backend = Backend();
  try {
    backend->RunModal(*this);
  } catch (...) {
    shown_ = false;
    throw;
  }
  shown_ = false;
}

void Form::Hide() {
  shown_ = false;
}

void Form::Unload() {
  shown_ = false;
  if (!loaded_) return;
  // Marked unloaded first, so that an Unload handler that unloads again does not recurse.
  loaded_ = false;
  if (OnUnload) OnUnload();
}

Control* Form::FindControl(std::string_view name, int index) const {
  for (Control* control : controls_) {
    if (control->Index() == index && EqualsNoCase(control->Name(), name)) return control;
  }
  return nullptr;
}

void Form::Register(Control* control) {
  controls_.push_back(control);
}

void Form::Unregister(const Control* control) {
  std::erase(controls_, control);
}

// ---- message box, input box, help, back-end -------------------------------------------------

int MsgBox(const std::string& prompt, int buttons, const std::string& title) {
  return Backend()->MessageBox(MessageBoxRequest{prompt, title, buttons});
}

std::string InputBox(const std::string& prompt, const std::string& title,
                     const std::string& defaultAnswer) {
  return Backend()->InputBox(InputBoxRequest{prompt, title, defaultAnswer}).value_or("");
}

void SetHelpFile(std::string file) {
  RunContext::Current().SetHelpFile(std::move(file));
}

const std::string& HelpFile() {
  return RunContext::Current().HelpFile();
}

void ShowHelp() {
  Backend()->ShowHelp(HelpFile());
}

DialogBackend& CurrentDialogBackend() {
  return *Backend();
}

std::shared_ptr<DialogBackend> SetDialogBackend(std::shared_ptr<DialogBackend> backend) {
  return RunContext::Current().SetDialogBackend(std::move(backend));
}

}  // namespace vlm
