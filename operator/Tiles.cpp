#include "operator/Tiles.h"

#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Each tone's background and text, light enough to read black on from afar; the sign says the
// same in a shape.
struct TToneLook {
  TSlotTone Tone;
  const char* Background;
  const char* Text;
};
constexpr std::array<TToneLook, 4> kTones = {{
    {TSlotTone::Grey, "#d9d9d9", "#202020"},
    {TSlotTone::Blue, "#9cc3f0", "#0a2a50"},
    {TSlotTone::Green, "#8fd694", "#0b3d12"},
    {TSlotTone::Red, "#f08c8c", "#4d0000"},
}};
constexpr bool InOrder() {
  for (std::size_t i = 0; i < kTones.size(); ++i)
    if (static_cast<std::size_t>(kTones[i].Tone) != i) return false;
  return true;
}
static_assert(InOrder(), "one look per tone, in the order of TSlotTone");

// A tile's proportions (width to height) that its text reads best in.
constexpr double kTileAspect = 1.6;
constexpr int kGap = 6;

// The text sizes, as parts of the tile's height.
struct TTextSize {
  double Share;
  bool Bold;
};
constexpr TTextSize kPortSize{0.09, false}, kSignSize{0.22, true}, kPhaseSize{0.12, true},
    kLabelSize{0.11, true}, kSecondsSize{0.08, false};

QLabel* NewLabel(QWidget* parent, Qt::Alignment alignment) {
  auto* label = new QLabel(parent);
  label->setAlignment(alignment);
  label->setTextFormat(Qt::PlainText);
  return label;
}

void Size(QLabel* label, int height, TTextSize size) {
  QFont font = label->font();
  font.setPixelSize(std::max(9, static_cast<int>(height * size.Share)));
  font.setBold(size.Bold);
  label->setFont(font);
}

}  // namespace

TSlotTile::TSlotTile(int slot, const std::string& port, bool scanning, QWidget* parent)
    : QFrame(parent), SlotNumber(slot), Scanning(scanning) {
  Slot.Port = port;
  setFrameShape(QFrame::Box);
  setLineWidth(3);
  setAutoFillBackground(true);
  setCursor(Qt::PointingHandCursor);
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  Port = NewLabel(this, Qt::AlignLeft | Qt::AlignTop);
  Port->setText(QString("%1  %2").arg(slot).arg(QString::fromStdString(port)));
  Sign = NewLabel(this, Qt::AlignRight | Qt::AlignTop);
  top->addWidget(Port, 1);
  top->addWidget(Sign);
  layout->addLayout(top);
  Phase = NewLabel(this, Qt::AlignLeft | Qt::AlignVCenter);
  // A failure's reason stays in full until the unit is unplugged: it wraps, never cut.
  Phase->setWordWrap(true);
  layout->addWidget(Phase, 1);
  Label = NewLabel(this, Qt::AlignLeft);
  layout->addWidget(Label);
  auto* bottom = new QHBoxLayout;
  Progress = new QProgressBar(this);
  Progress->setTextVisible(false);
  Seconds = NewLabel(this, Qt::AlignRight);
  bottom->addWidget(Progress, 1);
  bottom->addWidget(Seconds);
  layout->addLayout(bottom);
  Refresh();
}

void TSlotTile::Apply(const TStationEvent& event) {
  if (event.Kind == TEventKind::Arrived) UnitThere = true;
  if (event.Kind == TEventKind::Left) UnitThere = false;
  Slot.Apply(event);
  Refresh();
}

void TSlotTile::SetNotice(const QString& notice) {
  Notice = notice;
  Refresh();
}

void TSlotTile::SetSelected(bool selected) {
  Chosen = selected;
  Refresh();
}

QString TSlotTile::PhaseText() const {
  if (!Notice.isEmpty() && Slot.Phase != TSlotPhase::Failed) return Notice;
  if (Slot.Phase == TSlotPhase::Waiting && Scanning) {
    if (UnitThere) return "блок подключён — отсканируйте метку";
    if (!Slot.Label.empty()) return "метка принята — подключите блок";
  }
  return QString::fromStdString(Slot.Words());
}

QString TSlotTile::LabelText() const { return QString::fromStdString(Slot.Label); }

QString TSlotTile::SignText() const { return QString::fromUtf8(PhaseSign(Slot.Phase)); }

void TSlotTile::Refresh() {
  const TToneLook& look = kTones[static_cast<std::size_t>(PhaseTone(Slot.Phase))];
  // A chosen tile (the next scan goes to it) has a thick dark frame.
  setStyleSheet(
      QString("TSlotTile { background: %1; border: %2px solid %3; } QLabel { color: %4; }")
          .arg(look.Background)
          .arg(Chosen ? 8 : 2)
          .arg(Chosen ? "#000000" : "#808080")
          .arg(look.Text));
  Sign->setText(SignText());
  Phase->setText(PhaseText());
  Label->setText(LabelText());
  const bool busy = Slot.Phase == TSlotPhase::Writing || Slot.Phase == TSlotPhase::Verifying;
  Progress->setVisible(busy);
  Progress->setRange(0, std::max(1, Slot.Steps));
  Progress->setValue(std::min(Slot.Step, std::max(1, Slot.Steps)));
  Seconds->setText(QString("%1 с").arg(Slot.Seconds()));
}

void TSlotTile::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit Clicked(SlotNumber);
  QFrame::mousePressEvent(event);
}

void TSlotTile::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  const int h = std::min(height(), static_cast<int>(width() / kTileAspect * 1.2));
  Size(Port, h, kPortSize);
  Size(Sign, h, kSignSize);
  Size(Phase, h, kPhaseSize);
  Size(Label, h, kLabelSize);
  Size(Seconds, h, kSecondsSize);
  Progress->setFixedHeight(std::max(8, h / 14));
}

TTileGrid::TTileGrid(QWidget* parent) : QWidget(parent) {}

TSlotTile& TTileGrid::Tile(int slot, const std::string& port, bool scanning) {
  if (TSlotTile* tile = Find(slot)) return *tile;
  auto* tile = new TSlotTile(slot, port, scanning, this);
  connect(tile, &TSlotTile::Clicked, this, &TTileGrid::Clicked);
  Items.push_back(tile);
  std::sort(Items.begin(), Items.end(),
            [](TSlotTile* a, TSlotTile* b) { return a->Number() < b->Number(); });
  tile->show();
  Place();
  return *tile;
}

TSlotTile* TTileGrid::Find(int slot) const {
  for (TSlotTile* tile : Items)
    if (tile->Number() == slot) return tile;
  return nullptr;
}

void TTileGrid::Clear() {
  for (TSlotTile* tile : Items) delete tile;
  Items.clear();
}

int TTileGrid::Columns(int count, QSize size) {
  int best = 1;
  double bestSide = -1;
  for (int columns = 1; columns <= std::max(1, count); ++columns) {
    const int rows = (count + columns - 1) / columns;
    const double w = double(size.width() - kGap * (columns + 1)) / columns;
    const double h = double(size.height() - kGap * (rows + 1)) / rows;
    // The tile that fits at its proportions: the larger, the better it reads.
    const double side = std::min(w, h * kTileAspect);
    if (side > bestSide) {
      bestSide = side;
      best = columns;
    }
  }
  return best;
}

void TTileGrid::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Place();
}

void TTileGrid::Place() {
  const int count = static_cast<int>(Items.size());
  if (count == 0) return;
  const int columns = Columns(count, size());
  const int rows = (count + columns - 1) / columns;
  const int w = (width() - kGap * (columns + 1)) / columns;
  const int h =
      std::min((height() - kGap * (rows + 1)) / rows, static_cast<int>(w / kTileAspect * 1.3));
  for (int i = 0; i < count; ++i)
    Items[static_cast<std::size_t>(i)]->setGeometry(kGap + (i % columns) * (w + kGap),
                                                    kGap + (i / columns) * (h + kGap), w, h);
}
