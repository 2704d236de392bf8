// The batch and its rows as the station's store knows them.
//
// A row is known by what it means: its label and its own values as the form holds them after
// the table's judgement, so that a phone written with blanks and hyphens, a moved column or other
// line ends make no new row; a batch by the template's parameter set as gathered, and its rows.
// The release before this one knew both by their bytes. Those identities go along as well, so
// that a batch that release left half done goes on here with its done rows still done.
#pragma once

#include <QByteArray>
#include <string>
#include <vector>

#include "station/StationStore.h"
#include "station/UnitsTable.h"

struct TBatchRows {
  std::string Identity, EarlierIdentity;
  std::vector<TStoreRow> Rows;  // none without a table
};

// `templateBytes`: the template file as it is on disk, for the earlier identities.
TBatchRows BatchRows(const TPlan& templatePlan, const QByteArray& templateBytes,
                     const std::vector<TPlan>& tablePlans);
