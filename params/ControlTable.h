// The controls that hold the configuration, as a table: for each its name, kind, range, step,
// items, length limit, start value, page, caption and the group it stands in.
//
// Every face builds on these rows: the window makes its widgets from them (the layout stays in
// form/), the engine keeps a value per row (params/FormValues.h), and the rules of the kinds
// (params/ControlRules.h) read their bounds here, so that a value means the same wherever it is
// held. Captions and item texts are UTF-8, as the window shows them.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

enum class TControlKind {
  Edit,   // one line of text
  List,   // a drop-down list: an item index from 0, or -1 for none
  Spin,   // a whole number within [Min, Max]
  Check,  // checked or not
};

enum class TPage { User, System };

struct TControlRow {
  std::string_view Name;
  TControlKind Kind;
  TPage Page;
  std::string_view Group;    // the group box or inner tab it stands in; empty on the page itself
  std::string_view Caption;  // its own caption: the label naming it, or a check box's text
  int Start = 0;             // the start index, value or checked state (0/1)
  std::string_view StartText{};               // an edit's start text
  int Min = 0, Max = 0, Step = 1;             // a spin edit's range and step
  int MaxLength = 0;                          // an edit's limit for typing; 0: none
  std::span<const std::string_view> Items{};  // a list's items
};

namespace ControlTableRows {
using K = TControlKind;
using P = TPage;
using S = std::string_view;

inline constexpr S Positioning[] = {"Нет", "GPS", "ГЛОНАСС", "GPS + ГЛОНАСС"};
inline constexpr S CellInfo[] = {"Нет", "Quectel", "Яндекс локатор", "Вестра"};
inline constexpr S SmsKinds[] = {"Нет", "Текст", "Ссылка на Google Map",
                                 "Ссылка на моб. Яндекс Карты", "Ссылка на Яндекс Карты"};
inline constexpr S ControlSms[] = {"Выкл", "С заданого тлф", "С любого тлф"};
inline constexpr S UseSensor[] = {"Нет", "Использовать"};
inline constexpr S Shock[] = {"Нет", "Одиночный удар", "Двойной удар"};
inline constexpr S BothAlarm[] = {"Нет", "30 сек", "1 мин", "2 мин", "3 мин"};
inline constexpr S ChangeCoord[] = {"Игнорировать", "Тревога"};
inline constexpr S SleepMode[] = {"RAD всегда включена", "RAD в режиме закладки"};
inline constexpr S RingMode[] = {"Отключено", "С номеров из списка", "С любых номеров"};
inline constexpr S Period[] = {"Никогда",      "Каждые 20с",   "Каждые 90с",   "Каждые 3мин",
                               "Каждые 10мин", "Каждые 30мин", "Каждый 4часа", "Каждые 24часа"};
inline constexpr S SimMode[] = {"SIM1 (чип)", "SIM2 (внешняя)", "SIM1 (чип), SIM2 (внешняя)",
                                "SIM2 (внешняя), SIM1 (чип)"};

constexpr TControlRow Edit(S name, P page, S group, S caption, S start = {}, int limit = 0) {
  return {name, K::Edit, page, group, caption, 0, start, 0, 0, 1, limit, {}};
}
constexpr TControlRow List(S name, P page, S group, S caption, std::span<const S> items,
                           int start) {
  return {name, K::List, page, group, caption, start, {}, 0, 0, 1, 0, items};
}
constexpr TControlRow Spin(S name, P page, S group, S caption, int min, int max, int start,
                           int step = 1) {
  return {name, K::Spin, page, group, caption, start, {}, min, max, step, 0, {}};
}
constexpr TControlRow Check(S name, P page, S group, S caption, bool start) {
  return {name, K::Check, page, group, caption, start ? 1 : 0, {}, 0, 0, 1, 0, {}};
}

// Creation order, top to bottom as the pages show them.
inline constexpr TControlRow Rows[] = {
    List("CBGPS", P::User, "", "Координаты по спутникам", Positioning, -1),
    List("CBCellInfo", P::User, "", "Координаты по БС", CellInfo, 1),
    Edit("EdPhone1", P::User, "Телефон1", ""),
    List("CBPhone1", P::User, "Телефон1", "SMS", SmsKinds, -1),
    Edit("EdPhone2", P::User, "Телефон2", ""),
    List("CBPhone2", P::User, "Телефон2", "SMS", SmsKinds, -1),
    Edit("EdPhone3", P::User, "Телефон3", ""),
    List("CBPhone3", P::User, "Телефон3", "SMS", SmsKinds, -1),
    List("CBControlSMS", P::User, "Запрос по SMS", "", ControlSms, 0),
    Edit("EdSMSPwd", P::User, "Запрос по SMS", "Пароль", {}, 8),
    Spin("SECloseDelay", P::User, "Взятие/Снятие", "Задержка (с)", 15, 250, 30),
    Edit("EdOpenPwd", P::User, "Взятие/Снятие", "Пароль", {}, 4),
    Check("CBOpClsSMS", P::User, "Взятие/Снятие", "Передавать SMS", false),
    Spin("SEDelay", P::User, "Тревоги", "Длительность удержания кнопки для тревоги (с)", 1, 10, 4),
    List("CBPIRMode", P::User, "Тревоги", "Объемный датчик", UseSensor, 1),
    List("CBVibroMode", P::User, "Тревоги", "Датчик удара", Shock, 1),
    Spin("SEVibroSens", P::User, "Тревоги", "Чувств.", 1, 100, 50),
    List("CBBothAlarm", P::User, "Тревоги", "Тревога только от двух датчиков", BothAlarm, 0),
    List("CBChangeCoord", P::User, "Тревоги", "Изменение координат под охраной", ChangeCoord, 0),
    Check("CBLowBatMsg", P::User, "Тревоги", "Посылать сообщение о низком заряде батареи", false),
    List("CBSleepMode", P::User, "Режим закладки", "", SleepMode, 0),
    Spin("SESleep", P::User, "Режим закладки", "Период опроса (ч)", 1, 250, 24),
    Check("CBSleepMsg", P::User, "Режим закладки", "Передавать сообщения в пассивном режиме",
          false),
    Check("CBSleepKeyb", P::User, "Режим закладки", "Просыпаться по нажатию кнопок", false),
    List("CBRingMode", P::User, "Голосовое прослушивание", "", RingMode, 0),
    Spin("SERingDuration", P::User, "Голосовое прослушивание", "Макс длительн. (мин)", 0, 250, 2),
    Spin("SERingLevel", P::User, "Голосовое прослушивание", "Громкость", 0, 15, 11),
    // Presets of the usual kind: a short login that is also the password, an access point, a PIN.
    Edit("EdLoginI", P::System, "SIM1 (чип)", "Логин", "vst"),
    Edit("EdPwdI", P::System, "SIM1 (чип)", "Пароль", "vst"),
    Edit("EdAPNI", P::System, "SIM1 (чип)", "APN сервер", "m2m.vestra.example"),
    Edit("EdPINI", P::System, "SIM1 (чип)", "PIN", "1234"),
    Edit("EdLoginE", P::System, "SIM2 (внешняя)", "Логин", "gdata"),
    Edit("EdPwdE", P::System, "SIM2 (внешняя)", "Пароль", "gdata"),
    Edit("EdAPNE", P::System, "SIM2 (внешняя)", "APN сервер", "internet.vestra.example"),
    Edit("EdPINE", P::System, "SIM2 (внешняя)", "PIN", "1234"),
    List("CBPeriod", P::System, "", "Оповещать сервер", Period, 4),
    List("CBSelSIMMode", P::System, "", "Использовать SIM карты", SimMode, 1),
    Spin("SEBrightness", P::System, "", "Яркость", 0, 255, 180),
    Spin("SETimeZone", P::System, "", "Часовой пояс", -12, 12, 4),
    Edit("EdServer1", P::System, "Сервер1", ""),
    Check("CBServer1", P::System, "Сервер1", "Не использовать", false),
    Edit("EdServer2", P::System, "Сервер2", ""),
    Check("CBServer2", P::System, "Сервер2", "Не использовать", false),
    Edit("EdServer3", P::System, "Сервер3", ""),
    Check("CBServer3", P::System, "Сервер3", "Не использовать", false),
    Check("CBSendLinkFault", P::System, "", "Передавать отказы связи", false),
    Check("CBSetTime", P::System, "", "Синхронизировать время", true),
    Check("CBLoadEfemerids", P::System, "", "Загружать эфемериды", true),
    Check("CBUseAGPS", P::System, "", "Использовать A-GPS", true),
    // Named by the button beside it.
    Spin("SECorrCoef", P::System, "", "Калибровка", 90, 110, 100),
    Edit("EdRqBalance", P::System, "Баланс", "Запрос", "*100#"),
    Spin("SELimitBal", P::System, "Баланс", "Предел (р)", 0, 2500, 0, 10),
    Spin("SEPeriodBal", P::System, "Баланс", "Период (ч)", 0, 250, 2),
};

constexpr bool RowsAreSound() {
  for (std::size_t i = 0; i < std::size(Rows); ++i) {
    const TControlRow& row = Rows[i];
    if (row.Kind == K::Spin && (row.Min > row.Max || row.Start < row.Min || row.Start > row.Max))
      return false;
    if (row.Kind == K::List && (row.Start < -1 || row.Start >= static_cast<int>(row.Items.size())))
      return false;
    for (std::size_t j = 0; j < i; ++j)
      if (Rows[j].Name == row.Name) return false;
  }
  return true;
}
static_assert(RowsAreSound(), "each control once, its start value in its range or list");
}  // namespace ControlTableRows

// The options panel's choice that lets the calibration value be applied and written; no part of
// the configuration, it is named in the refusals of a "CorrCoef" without it.
inline constexpr TControlRow ManualCorrCoefRow = {"CBManualCorrCoef", TControlKind::Check,
                                                  TPage::System, "",
                                                  "Устанавливать коэф. калибровки вручную"};
inline std::string ManualCorrCoefLabel() {
  return "«" + std::string(ManualCorrCoefRow.Caption) + "»";
}

inline constexpr std::size_t ControlCount = std::size(ControlTableRows::Rows);

constexpr std::span<const TControlRow, ControlCount> ControlTable() {
  return ControlTableRows::Rows;
}

// The place of the control of that exact name; ControlCount for none.
constexpr std::size_t ControlIndex(std::string_view name) {
  std::size_t i = 0;
  while (i < ControlCount && ControlTableRows::Rows[i].Name != name) ++i;
  return i;
}
