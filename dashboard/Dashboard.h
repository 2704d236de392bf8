// The line's dashboard: a page that shows every station and slot of the line's database live,
// with the shift's figures and the record to download, served by Qt HTTP Server.
//
// It only reads the database (a read-only connection; never a schema made or brought up to
// date), once a second, and pushes what changed to every open page as Server-Sent Events. It
// listens on 127.0.0.1 unless told otherwise; on any other address a page is shown only to whom
// brings the access token once (`?token=`), kept after that in an HttpOnly, SameSite=Strict
// cookie. The page, its script and its style are the program's own (Qt resources); every
// response forbids inline script, and every value reaches the page as data, never as markup.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

struct TDashboardSetup {
  QString Db;
  QHostAddress Address = QHostAddress(QHostAddress::LocalHost);
  quint16 Port = 8470;
  QByteArray Token;  // empty: none asked for (loopback only)
};

inline constexpr quint16 kDashboardPort = 8470;

// From the command line's words: `listen` "ADDRESS:PORT" (empty: 127.0.0.1:8470), `tokenFile`
// (empty: a random token for an address other than loopback). Raises EUsage for a wrong word,
// EVestraError for a token file that cannot be read.
TDashboardSetup DashboardSetup(const QString& db, const QString& listen, const QString& tokenFile);

// Serves until the program is stopped; prints where to open the page. 1 when the database
// cannot be read or the address cannot be listened on.
int ServeDashboard(const TDashboardSetup& setup);
