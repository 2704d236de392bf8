#include "station/BatchRows.h"

#include <QString>
#include <algorithm>
#include <map>

#include "link/Text.h"
#include "params/ParamTable.h"

namespace {

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += (all.empty() ? "" : "\n") + line;
  return all;
}

}  // namespace

TBatchRows BatchRows(const TPlan& templatePlan, const QByteArray& templateBytes,
                     const std::vector<TPlan>& tablePlans) {
  QByteArray meaning;
  for (const std::string& line : templatePlan.Held.Lines())
    meaning += QByteArray::fromStdString(line) + '\n';
  TBatchRows batch;
  // Equal rows are rows of their own, told apart by order.
  std::map<std::string, int> seen, seenEarlier;
  for (const TPlan& plan : tablePlans) {
    std::vector<std::string> own, written;
    for (std::size_t i = 0; i < plan.OwnLines; ++i) {
      // Every column is a known key (the table's judgement), and the form gathers every key.
      const std::string& line = plan.Lines[i];
      const std::string key = line.substr(0, line.find('='));
      own.push_back(Cp1251ToUtf8(std::string(FindParam(key)->Key) + "=" + plan.Held.Value(key)));
      written.push_back(Cp1251ToUtf8(line));
    }
    const std::string values = Joined(own);
    const std::string label = QString::fromStdString(plan.Label).trimmed().toStdString();
    std::vector<std::string> sorted = own;
    std::sort(sorted.begin(), sorted.end());
    std::string content = label;
    for (const std::string& value : sorted) content += '\0' + value;
    batch.Rows.push_back(
        {TStationStore::RowIdentity(meaning, label, own, seen[content]++), plan.Row, plan.Label,
         values,
         TStationStore::RowIdentity(templateBytes, plan.Label, written,
                                    seenEarlier[plan.Label + '\0' + Joined(written)]++)});
  }
  batch.Identity = TStationStore::BatchIdentity(meaning, batch.Rows);
  std::vector<TStoreRow> earlier = batch.Rows;
  for (TStoreRow& row : earlier) row.Identity = row.Earlier;
  batch.EarlierIdentity = TStationStore::BatchIdentity(templateBytes, earlier);
  return batch;
}
