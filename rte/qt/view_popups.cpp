// Pop-ups as Qt dialogs. While one is open the rest of the engine holds timers and TCP data
// back (PopupEntered/PopupLeft), as the programs expect of a modal question.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "internal.h"
#include "model.h"
#include "view.h"

namespace rte::view {
namespace {

// Counts the pop-up as open for exactly the time its dialog runs.
struct PopupScope {
  PopupScope() {
    FlushNow();  // what the callback changed so far shows behind the question
    model::PopupEntered();
  }
  ~PopupScope() { model::PopupLeft(); }
};

QWidget* DialogParent() { return QApplication::activeWindow(); }

// Texts of pop-ups come from the programs, which put telemetry and file contents in them.
void MakePlain(QWidget* dialog) {
  for (QLabel* l : dialog->findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText);
}

class QtPopupBackend : public PopupBackend {
 public:
  int message(const std::string& title, const std::string& text) override {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString(), QMessageBox::Ok,
                    DialogParent());
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    PopupScope scope;
    box.exec();
    return 0;
  }

  int confirm(const std::string& title, const std::string& text) override {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title), QString(),
                    QMessageBox::Yes | QMessageBox::No, DialogParent());
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setDefaultButton(QMessageBox::Yes);
    PopupScope scope;
    return box.exec() == QMessageBox::Yes ? 1 : 0;
  }

  int prompt(const std::string& title, const std::string& text, std::string* reply,
             int maxLength) override {
    QInputDialog dlg(DialogParent());
    dlg.setWindowTitle(QString::fromStdString(title));
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setLabelText(QString::fromStdString(text));
    dlg.setTextValue(QString());
    MakePlain(&dlg);
    if (auto* edit = dlg.findChild<QLineEdit*>(); edit && maxLength > 0) edit->setMaxLength(maxLength);
    int r;
    {
      PopupScope scope;
      r = dlg.exec();
    }
    if (r != QDialog::Accepted) {
      if (reply) reply->clear();
      return RTE_ERR_USER_CANCEL;
    }
    std::string s = dlg.textValue().toStdString();
    // The limit is in bytes of the reply buffer; a multi-byte character is not cut in half.
    if (maxLength > 0 && static_cast<int>(s.size()) > maxLength) {
      std::size_t n = static_cast<std::size_t>(maxLength);
      while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
      s.resize(n);
    }
    if (reply) *reply = s;
    return 0;
  }

  int fileSelect(const std::string& dir, const std::string& pattern, const std::string& title,
                 int buttonMode, std::string* path) override {
    QString d = QString::fromStdString(dir.empty() ? std::string(".") : ResolvePath(dir));
    QFileDialog dlg(DialogParent(), QString::fromStdString(title), d);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    QString pat = QString::fromStdString(pattern.empty() ? std::string("*") : pattern);
    dlg.setNameFilters({pat, QStringLiteral("*")});
    if (buttonMode == VAL_SAVE_BUTTON) {
      dlg.setAcceptMode(QFileDialog::AcceptSave);
      dlg.setFileMode(QFileDialog::AnyFile);
    } else {
      dlg.setAcceptMode(QFileDialog::AcceptOpen);
      dlg.setFileMode(QFileDialog::ExistingFile);
    }
    int r;
    {
      PopupScope scope;
      r = dlg.exec();
    }
    if (r != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
      if (path) path->clear();
      return VAL_NO_FILE_SELECTED;
    }
    QString chosen = dlg.selectedFiles().first();
    if (path) *path = QDir::toNativeSeparators(chosen).toStdString();
    return QFileInfo::exists(chosen) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
  }
};

}  // namespace

void CloseModalDialogs() {
  // Each dialog's exec() returns when its nested loop next runs; a dialog opened from within
  // another is on top, so the innermost ends first. Bounded in case one refuses to go.
  for (int i = 0; i < 64; ++i) {
    auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dlg || !dlg->isVisible()) break;
    dlg->done(QDialog::Rejected);
  }
}

PopupBackend* MakeQtPopups() {
  static QtPopupBackend backend;
  return &backend;
}

}  // namespace rte::view
