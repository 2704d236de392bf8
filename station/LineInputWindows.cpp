// Windows has no scanner input yet: a station there refuses --scan before it starts, so neither
// the station nor a worker ever reads a label.
#include "station/Scans.h"

bool ScanningAvailable() { return false; }

bool TLineInput::Read() { return false; }

TLabelWait WaitForLabel(TLineInput&, int, int) { return {}; }
