// A value means the same in a widget of the window and in the engine's values: every row of the
// control table, at the edges of its kind, set both ways, and the interlocks run both ways.
#include <QLineEdit>
#include <cmath>
#include <limits>

#include "form/QtText.h"
#include "params/ControlRules.h"
#include "params/Interlocks.h"
#include "tests/support/WindowTest.h"

namespace {

class TValuesAndWidgets : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    OpenWindow();
  }
  template <class T>
  T* Widget(const TControlRow& row) {
    return Window->FindControlAs<T>(QString::fromLatin1(row.Name.data(), row.Name.size()));
  }
};

std::string Name(const TControlRow& row) { return std::string(row.Name); }

}  // namespace

TEST_F(TValuesAndWidgets, StartValuesAreTheTables) {
  EXPECT_EQ(Window->ControlValues(), TFormValues());
}

TEST_F(TValuesAndWidgets, ProgramValuesAtTheEdgesOfEveryRow) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  for (const TControlRow& row : ControlTable()) {
    TFormValues values;
    switch (row.Kind) {
      case TControlKind::List: {
        const int n = static_cast<int>(row.Items.size());
        for (int index : {-2, -1, 0, n - 1, n, n + 5}) {
          Widget<TComboBox>(row)->SetItemIndex(index);
          values.SetItemIndex(row.Name, index);
          EXPECT_EQ(Widget<TComboBox>(row)->ItemIndex(), values.ItemIndex(row.Name))
              << Name(row) << " " << index;
        }
        break;
      }
      case TControlKind::Spin:
        for (double v : {double(row.Min) - 1, double(row.Min), row.Min + 0.5, row.Max - 0.4,
                         double(row.Max), double(row.Max) + 1, 1e20, -1e20, nan}) {
          Widget<TSpinEdit>(row)->SetValue(v);
          values.SetValue(row.Name, v);
          EXPECT_EQ(Widget<TSpinEdit>(row)->Value(), values.Value(row.Name))
              << Name(row) << " " << v;
        }
        break;
      case TControlKind::Edit: {
        // A text from the program is kept whole, longer than the limit for typing or not.
        const std::string text(static_cast<std::size_t>(row.MaxLength + 3), '7');
        Widget<TEdit>(row)->SetText(FromCp1251(text));
        values.SetText(row.Name, text);
        EXPECT_EQ(ToCp1251(Widget<TEdit>(row)->Text()), values.Text(row.Name)) << Name(row);
        break;
      }
      case TControlKind::Check:
        for (bool checked : {true, false, true}) {
          Widget<TCheckBox>(row)->SetChecked(checked);
          values.SetChecked(row.Name, checked);
          EXPECT_EQ(Widget<TCheckBox>(row)->Checked(), values.Checked(row.Name)) << Name(row);
        }
        break;
    }
  }
}

TEST_F(TValuesAndWidgets, TypedTextsAtTheEdgesOfEveryRow) {
  const QString typed[] = {
      "",  "-",      "+",          "12a", "99999999999999999999", "-99999999999999999999",
      "0", "1\r\n2", "абв\x01где", "€"};
  for (const TControlRow& row : ControlTable()) {
    for (const QString& text : typed) {
      if (row.Kind == TControlKind::Spin) {
        auto* spin = Widget<TSpinEdit>(row);
        QString fixed = text;
        spin->fixup(fixed);
        EXPECT_EQ(fixed.toInt(), SpinTextValue(row, text))
            << Name(row) << " " << text.toStdString();
      } else if (row.Kind == TControlKind::Edit) {
        auto* edit = Widget<TEdit>(row);
        const QString input = text + QString(row.MaxLength + 2, u'5');
        edit->SetText("");
        edit->insert(input);
        int pos = static_cast<int>(input.size());
        EXPECT_EQ(edit->Text(), TypedEditText(row, "", input, pos))
            << Name(row) << " " << text.toStdString();
      }
    }
  }
}

TEST_F(TValuesAndWidgets, InterlocksGiveTheWindowWhatTheyGiveValues) {
  struct TCase {
    const char* List;
    int Index;
    void (TFmMain::*Handler)(QObject*);
    void (*Rule)(TFormValues&);
  };
  const TCase cases[] = {
      {"CBVibroMode", 0, &TFmMain::CBSensorModeChange, SensorRule},
      {"CBPIRMode", 0, &TFmMain::CBSensorModeChange, SensorRule},
      {"CBVibroMode", 2, &TFmMain::CBSensorModeChange, SensorRule},
      {"CBSleepMode", 0, &TFmMain::CBSleepModeCloseUp, SleepRule},
      {"CBSleepMode", 1, &TFmMain::CBSleepModeCloseUp, SleepRule},
  };
  Window->CBBothAlarm->SetItemIndex(3);
  Window->CBSleepMsg->SetChecked(true);
  for (const TCase& c : cases) {
    Window->FindControlAs<TComboBox>(c.List)->SetItemIndex(c.Index);
    TFormValues expected = Window->ControlValues();
    c.Rule(expected);
    (Window.get()->*c.Handler)(nullptr);
    EXPECT_EQ(Window->ControlValues(), expected) << c.List << " " << c.Index;
  }
  Window->CBServer2->SetChecked(true);  // its click runs the server rule
  TFormValues servers = Window->ControlValues();
  EXPECT_FALSE(servers.Enabled("EdServer2"));
  ServerRule(servers);
  EXPECT_EQ(Window->ControlValues(), servers);
}
