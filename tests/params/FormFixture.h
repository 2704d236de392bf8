// A real main window with a scripted person, files in a temporary folder, and a hand for the
// file dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/WindowTest.h"

class TFormTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    OpenWindow();
  }

  // Servers 1 and 2 in use, 3 not; every phone with SMS type "Нет"; the rest as the window
  // opens. Passes every check.
  void MakeValid() {
    Window->EdServer1->SetText("192.0.2.10");
    Window->EdServer2->SetText("10.0.0.200");
    Window->CBServer1->SetChecked(false);
    Window->CBServer2->SetChecked(false);
    Window->CBServer3->SetChecked(true);
    for (auto* phone : {Window->CBPhone1, Window->CBPhone2, Window->CBPhone3})
      phone->SetItemIndex(0);
  }

  QString Path(const char* name) const { return Dir.filePath(QString::fromUtf8(name)); }

  void PutFile(const QString& name, const std::string& bytes) {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }

  static std::string FileBytes(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
  }

  // Every value control of the window with its value and enabled state, to see that nothing
  // changed.
  std::vector<std::string> Snapshot() const {
    std::vector<std::string> out;
    for (auto* w : Window->findChildren<QWidget*>()) {
      std::string value;
      if (auto* e = qobject_cast<TEdit*>(w))
        value = e->Text().toStdString();
      else if (auto* c = qobject_cast<TComboBox*>(w))
        value = std::to_string(c->ItemIndex());
      else if (auto* s = qobject_cast<TSpinEdit*>(w))
        value = std::to_string(s->Value());
      else if (auto* b = qobject_cast<TCheckBox*>(w))
        value = b->Checked() ? "1" : "0";
      else
        continue;
      out.push_back(w->objectName().toStdString() + "=" + value + (w->isEnabled() ? "" : " off"));
    }
    return out;
  }

  // The one box shown since the last call, as "caption|text"; fails the test unless it is a
  // single error box.
  std::string TakeError() {
    std::string out;
    if (Person.Boxes.size() != 1) {
      ADD_FAILURE() << Person.Boxes.size() << " boxes shown";
    } else {
      const auto& box = Person.Boxes.front();
      EXPECT_EQ(box.Icon, TPerson::TIcon::Stop);
      EXPECT_FALSE(box.Question);
      out = box.Caption + "|" + box.Text;
    }
    Person.Boxes.clear();
    return out;
  }

  QTemporaryDir Dir;
};

// While it lives, works the dialog as a person would when it opens: `choose` gets the dialog
// and accepts or rejects it. Counts the times the dialog was shown.
class TDialogHand {
 public:
  TDialogHand(QFileDialog* dialog, std::function<void(QFileDialog*)> choose)
      : Dialog(dialog), Choose(std::move(choose)) {
    Timer.setInterval(5);
    QObject::connect(&Timer, &QTimer::timeout, [this] {
      if (!Dialog->isVisible()) return;
      ++Shown;
      Choose(Dialog);
    });
    Timer.start();
  }
  int Shown = 0;

  // Accepts `path` as a person typing it would (a name without extension gets "ini" on save).
  static std::function<void(QFileDialog*)> Accept(const QString& path) {
    return [path](QFileDialog* d) {
      Type(d, path);
      static_cast<QDialog*>(d)->accept();  // as the dialog's own button does
    };
  }
  // Accepts `path` without the overwrite question.
  static std::function<void(QFileDialog*)> AcceptQuietly(const QString& path) {
    return [path](QFileDialog* d) {
      Type(d, path);
      static_cast<QDialog*>(d)->done(QDialog::Accepted);
    };
  }
  static void Cancel(QFileDialog* d) { d->reject(); }

 private:
  // selectFile() leaves the name field alone while it has the focus; a person types into it.
  static void Type(QFileDialog* dialog, const QString& path) {
    auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(field, nullptr);
    field->setText(path);
  }

  QFileDialog* Dialog;
  std::function<void(QFileDialog*)> Choose;
  QTimer Timer;
};
