#include "gui/qt_dialogs.h"

#include <QApplication>
#include <QBoxLayout>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QInputDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <cstdlib>

#include "gui/form_window.h"
#include "vlm/scripted_dialogs.h"

namespace vlm::gui {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QWidget* Owner() {
  return QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                           : QApplication::activeWindow();
}

QString Title(const std::string& title) {
  return title.empty() ? QStringLiteral("Vellum") : Q(title);
}

struct ButtonSet {
  int buttons;
  std::vector<std::pair<QMessageBox::StandardButton, int>> answers;
};

const ButtonSet kButtonSets[] = {
    {mb::OKOnly, {{QMessageBox::Ok, mb::OK}}},
    {mb::OKCancel, {{QMessageBox::Ok, mb::OK}, {QMessageBox::Cancel, mb::Cancel}}},
    {mb::AbortRetryIgnore,
     {{QMessageBox::Abort, mb::Abort},
      {QMessageBox::Retry, mb::Retry},
      {QMessageBox::Ignore, mb::Ignore}}},
    {mb::YesNoCancel,
     {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}, {QMessageBox::Cancel, mb::Cancel}}},
    {mb::YesNo, {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}}},
    {mb::RetryCancel, {{QMessageBox::Retry, mb::Retry}, {QMessageBox::Cancel, mb::Cancel}}},
};

}  // namespace

std::string DisplayProblem(const std::string& what) {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return {};
  }
  return what +
         " needs a display: neither DISPLAY nor WAYLAND_DISPLAY is set (set "
         "QT_QPA_PLATFORM=offscreen to run the windows without one)";
}

void EnsureApplication() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "vlmhost";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives as long as the process
}

QtDialogs::QtDialogs() {
  EnsureApplication();
}

void QtDialogs::Record(const std::string& action) {
  if (action.empty()) unscripted_ = true;
  actions_.push_back(action);
}

std::optional<std::string> QtDialogs::TakeScript() {
  std::string script;
  for (const std::string& action : actions_)
    script += (script.empty() ? "" : "; ") + action;
  const bool scripted = !unscripted_;
  actions_.clear();
  unscripted_ = false;
  if (!scripted) return std::nullopt;
  return script;
}

void QtDialogs::RunModal(Form& form) {
  FormWindow window(form, Owner());
  window.SetRecorder([this](const std::string& action) { Record(action); });
  window.setModal(true);
  open_.push_back(&window);
  struct Pop {
    std::vector<FormWindow*>& open;
    ~Pop() { open.pop_back(); }
  } pop{open_};
  if (shownObserver_) QTimer::singleShot(0, &window, [this, &window] { shownObserver_(window); });
  if (form.IsShown()) window.exec();
  if (window.Failure()) std::rethrow_exception(window.Failure());
}

int QtDialogs::MessageBox(const MessageBoxRequest& request) {
  QMessageBox box(Owner());
  box.setWindowTitle(Title(request.title));
  box.setText(Q(request.prompt).replace("\r\n", "\n").replace('\r', '\n'));
  const int icon = request.buttons & 0x70;
  box.setIcon(icon == mb::Critical      ? QMessageBox::Critical
              : icon == mb::Question    ? QMessageBox::Question
              : icon == mb::Exclamation ? QMessageBox::Warning
              : icon == mb::Information ? QMessageBox::Information
                                        : QMessageBox::NoIcon);
  const ButtonSet* set = &kButtonSets[0];
  for (const ButtonSet& s : kButtonSets)
    if (s.buttons == (request.buttons & 0x0F)) set = &s;
  QMessageBox::StandardButtons buttons;
  for (const auto& [button, answer] : set->answers)
    buttons |= button;
  box.setStandardButtons(buttons);
  box.setDefaultButton(set->answers.front().first);
  box.exec();
  int answered = set->answers.back().second;  // closed without a button: the cancel-like
                                              // answer, else the only one
  for (const auto& [button, answer] : set->answers)
    if (box.clickedButton() == box.button(button)) answered = answer;
  Record(std::string("answer ") + AnswerName(answered));
  return answered;
}

std::optional<std::string> QtDialogs::InputBox(const InputBoxRequest& request) {
  QInputDialog dialog(Owner());
  dialog.setWindowTitle(Title(request.title));
  dialog.setLabelText(Q(request.prompt));
  dialog.setTextValue(Q(request.defaultAnswer));
  if (dialog.exec() != QDialog::Accepted) {
    Record("");  // a script answers every input box
    return std::nullopt;
  }
  Record("input " + ScriptValue(dialog.textValue().toStdString()));
  return dialog.textValue().toStdString();
}

std::string QtFilter(const std::string& filter) {
  const QStringList parts = Q(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    filters << parts[i] + " (" + patterns + ")";
  }
  return filters.join(";;").toStdString();
}

std::optional<std::string> QtDialogs::FileDialog(const FileDialogRequest& request) {
  QFileDialog dialog(Owner(), Q(request.title), {}, Q(QtFilter(request.filter)));
  // Qt's own dialog on every platform, so that it behaves the same everywhere.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.flags & CommonDialog::FileMustExist ? QFileDialog::ExistingFile
                                                                 : QFileDialog::AnyFile);
  if (!(request.flags & CommonDialog::OverwritePrompt))
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.defaultExt.empty()) dialog.setDefaultSuffix(Q(request.defaultExt));
  // The dialog opens in the folder of the name it is given; a name that is a pattern
  // ("*.Glazed") only says which files to show.
  const QFileInfo given(Q(request.fileName));
  if (!request.fileName.empty() && given.dir().exists()) dialog.setDirectory(given.dir());
  if (!given.fileName().isEmpty() && !given.fileName().contains(QRegularExpression("[*?]")))
    dialog.selectFile(given.fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    Record("file");
    return std::nullopt;
  }
  Record("file " + ScriptValue(dialog.selectedFiles().front().toStdString()));
  return dialog.selectedFiles().front().toStdString();
}

std::optional<int32_t> QtDialogs::ColorDialog(int32_t initial) {
  QColorDialog dialog(QColor(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF),
                      Owner());
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted) {
    Record("color");
    return std::nullopt;
  }
  const QColor c = dialog.selectedColor();
  Record("color " + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," +
         std::to_string(c.blue()));
  return c.red() + 256 * c.green() + 65536 * c.blue();
}

void QtDialogs::ShowHelp(const std::string& helpFile) {
  const std::string help = help_ ? help_(helpFile) : std::string();
  if (help.empty()) {
    QMessageBox::information(Owner(), QStringLiteral("Help"),
                             helpFile.empty() ? QStringLiteral("No help file is set for this run.")
                                              : QStringLiteral("Help file: ") + Q(helpFile));
    return;
  }
  // The plug-in's help, in a window of its own that reads like the terminal's.
  QDialog dialog(Owner());
  dialog.setObjectName(QStringLiteral("help"));
  dialog.setWindowTitle(QStringLiteral("Help"));
  auto* text = new QPlainTextEdit(Q(help));
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QFontMetrics metrics(text->font());
  text->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('x')) * 92,
                       metrics.lineSpacing() * 24);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(text);
  layout->addWidget(buttons);
  dialog.exec();
}

// A log line shows at once, and the window keeps drawing itself while the plug-in works; a
// person's clicks wait until it is done.
void QtDialogs::Repaint(const Control& control) {
  for (FormWindow* window : open_) {
    if (&window->Model() != &control.Parent()) continue;
    window->Sync();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
}

}  // namespace vlm::gui
