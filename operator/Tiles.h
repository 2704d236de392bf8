// The station's slots as tiles, one per slot, readable from two metres: the port, the phase in
// words (station/SlotState.h, as every face says them), the row's label, the seconds in the
// phase, a progress bar while writing and verifying; the phase's colour and its sign ✓/✗, so
// that no one depends on telling red from green. The grid picks its columns from the number of
// tiles and its own size, and the tiles' text follows their size.
#pragma once

#include <QFrame>
#include <QWidget>
#include <memory>
#include <vector>

#include "station/SlotState.h"

class QLabel;
class QProgressBar;

class TSlotTile : public QFrame {
  Q_OBJECT
 public:
  TSlotTile(int slot, const std::string& port, bool scanning, QWidget* parent = nullptr);

  void Apply(const TStationEvent& event);
  // The whole station's notice ("база недоступна, повтор через N с"), shown on every tile;
  // empty: none.
  void SetNotice(const QString& notice);
  // Draws the words, colour, seconds and progress anew.
  void Refresh();
  const TSlotState& State() const { return Slot; }
  // What the tile says now, as a person reads it.
  QString PhaseText() const;
  QString LabelText() const;
  QString SignText() const;
  int Number() const { return SlotNumber; }
  bool Selected() const { return Chosen; }
  void SetSelected(bool selected);

 signals:
  void Clicked(int slot);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int SlotNumber;
  bool Scanning;
  bool UnitThere = false;
  bool Chosen = false;
  TSlotState Slot;
  QString Notice;
  QLabel *Port, *Sign, *Phase, *Label, *Seconds;
  QProgressBar* Progress;
};

// The tiles in rows and columns that fill the space best at a tile's usual proportions.
class TTileGrid : public QWidget {
  Q_OBJECT
 public:
  explicit TTileGrid(QWidget* parent = nullptr);
  // The tile of `slot`, made on its first event.
  TSlotTile& Tile(int slot, const std::string& port, bool scanning);
  TSlotTile* Find(int slot) const;
  const std::vector<TSlotTile*>& Tiles() const { return Items; }
  void Clear();
  // Columns for `count` tiles in `size`.
  static int Columns(int count, QSize size);

 signals:
  void Clicked(int slot);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::vector<TSlotTile*> Items;
  void Place();
};
