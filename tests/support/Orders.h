// The two orders in which the unit's codes travel, and the codes each firmware gate holds back,
// written out independently of the code table so that the tests can hold the table to them.
#pragma once

#include <initializer_list>
#include <set>
#include <string>
#include <vector>

inline const std::vector<std::string> FullReadOrder = {
    "G01", "G02", "G03", "G04", "G11", "G12", "G13", "G14", "E01", "P01", "P02",
    "P03", "B01", "B02", "B03", "C01", "M01", "M02", "M03", "M12", "M10", "M11",
    "M14", "M15", "M04", "M08", "M09", "M05", "M06", "M07", "M13", "M16", "M17",
    "G05", "M18", "M19", "M20", "M21", "R01", "R02", "R03", "S01", "S02", "S03"};

inline const std::vector<std::string> FullWriteOrder = {
    "E01", "P01", "P02", "P03", "B01", "B02", "B03", "C01", "G01", "G02", "G03",
    "G11", "G12", "G13", "M01", "M02", "M03", "M04", "M08", "M09", "M05", "M06",
    "M07", "M13", "M10", "M11", "M12", "M14", "M15", "M16", "M17", "G05", "M18",
    "M19", "M20", "M21", "R01", "R02", "R03", "S01", "S02", "S03", "G04", "G14"};

inline const std::set<std::string> From200 = {"G11", "G12", "G13", "G14", "M16", "M17", "G05"};
inline const std::set<std::string> From207 = {"M18"};
inline const std::set<std::string> From208 = {"M19", "M20", "M21"};
inline const std::set<std::string> From300 = {"R01", "R02", "R03"};

inline std::set<std::string> Union(std::initializer_list<std::set<std::string>> sets) {
  std::set<std::string> all;
  for (const auto& s : sets) all.insert(s.begin(), s.end());
  return all;
}

// The codes of `order` that `gone` does not hold, in order.
inline std::vector<std::string> Without(std::vector<std::string> order,
                                        const std::set<std::string>& gone) {
  std::erase_if(order, [&](const std::string& c) { return gone.count(c) > 0; });
  return order;
}
