// The supervisor's password: kept as a salted hash in the station's configuration, every other
// line of the file as it was, and only the password itself matching.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "operator/StationConfig.h"
#include "operator/SupervisorLock.h"

TEST(Supervisor, TheHashIsSaltedMatchesOnlyItsPasswordAndKeepsTheFilesOtherLines) {
  QTemporaryDir dir(VESTRA_TEST_TEMP "/supervisor-XXXXXX");
  const QString path = dir.filePath("line1.conf");
  const QByteArray original =
      "# line 1\nTEMPLATE=a.ini\nUNITS=\"units one.csv\"\nOPTIONS=\"--port COM1 --scan\"\n";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(original);
  file.close();

  const QString first = HashPassword("смена-1");
  EXPECT_NE(first, HashPassword("смена-1"));  // a salt of its own each time
  EXPECT_TRUE(first.startsWith("pbkdf2-sha256:"));
  for (const auto& [given, matches] :
       {std::pair{"смена-1", true}, {"смена-2", false}, {"", false}, {"смена-1 ", false}})
    EXPECT_EQ(PasswordMatches(first, given), matches) << given;
  EXPECT_FALSE(PasswordMatches("plain:1:AA==:AA==", "смена-1"));

  TStationConfig::SetSupervisor(path, first);
  TStationConfig::SetSupervisor(path, first);  // set again: one line still
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray now = file.readAll();
  EXPECT_TRUE(now.startsWith(original)) << now.toStdString();
  EXPECT_EQ(now.count("SUPERVISOR="), 1) << now.toStdString();
  const TStationConfig config = TStationConfig::Read(path);
  EXPECT_EQ(config.Supervisor, first);
  EXPECT_EQ(config.Units, "units one.csv");
  EXPECT_EQ(config.Options, (QStringList{"--port", "COM1", "--scan"}));
  EXPECT_TRUE(config.Scanning());
}
