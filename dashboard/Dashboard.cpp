#include "dashboard/Dashboard.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "dashboard/Snapshot.h"
#include "link/VestraError.h"
#include "station/ExitCodes.h"
#include "station/Report.h"
#include "station/StationStore.h"

namespace {

// Bounds that keep one client from stopping the others: connections at once, of one address,
// open event streams, how long a connection that is no stream may stay, how much a stream that
// does not read may fall behind.
constexpr int kMostConnections = 64;
constexpr int kMostPerPeer = 16;
constexpr int kMostStreams = 32;
constexpr int kRequestMs = 15000;
constexpr qint64 kMostBehind = 1 << 20;
constexpr qint64 kMostRequest = 64 << 10;  // unread bytes of a connection: no request is longer
constexpr int kPollMs = 1000;
// Polls between two reads of the whole record; in between only its end is read again.
constexpr int kWholeEvery = 60;
constexpr char kStreamProperty[] = "vestra-stream";
constexpr char kCookie[] = "vestra_token";

// No script but the program's own file, no style but its own, nothing from elsewhere.
constexpr char kPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

enum class TServed { File, State, Events, Csv, Json };
struct TRoute {
  std::string_view Path;
  TServed Served;
  const char* Resource;  // of TServed::File
  const char* Type;
  const char* Download;  // a file name to save as; nullptr: shown
};
constexpr std::array<TRoute, 7> kRoutes = {{
    {"/", TServed::File, ":/dashboard/index.html", "text/html; charset=utf-8", nullptr},
    {"/dashboard.js", TServed::File, ":/dashboard/dashboard.js", "text/javascript; charset=utf-8",
     nullptr},
    {"/dashboard.css", TServed::File, ":/dashboard/dashboard.css", "text/css; charset=utf-8",
     nullptr},
    {"/state.json", TServed::State, nullptr, "application/json", nullptr},
    {"/events", TServed::Events, nullptr, "text/event-stream", nullptr},
    {"/report.csv", TServed::Csv, nullptr, "text/csv; charset=utf-8", "vestra-report.csv"},
    {"/report.jsonl", TServed::Json, nullptr, "application/x-ndjson; charset=utf-8",
     "vestra-report.jsonl"},
}};

using TStatus = QHttpServerResponder::StatusCode;

// Equal secrets take as long to compare as unequal ones of their length.
bool SameSecret(const QByteArray& given, const QByteArray& token) {
  unsigned difference = given.size() == token.size() ? 0 : 1;
  for (qsizetype i = 0; i < given.size(); ++i)
    difference |= static_cast<unsigned char>(given[i] ^ token[i % token.size()]);
  return difference == 0;
}

QByteArray CookieValue(const QByteArray& header, const QByteArray& name) {
  for (const QByteArray& part : header.split(';')) {
    const QByteArray pair = part.trimmed();
    if (pair.startsWith(name + "=")) return pair.mid(name.size() + 1);
  }
  return {};
}

// Admits a bounded number of connections, and gives every one that is no event stream a while
// to be done: a client that floods, or sends a request byte by byte, holds only its own share.
class TGate : public QTcpServer {
 public:
  using QTcpServer::QTcpServer;
  ~TGate() override {
    for (QTcpSocket* socket : findChildren<QTcpSocket*>()) socket->disconnect(this);
  }

 protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
      delete socket;
      return;
    }
    const QString peer = socket->peerAddress().toString();
    if (Open >= kMostConnections || PerPeer.value(peer) >= kMostPerPeer) {
      socket->abort();
      socket->deleteLater();
      return;
    }
    ++Open;
    ++PerPeer[peer];
    connect(socket, &QObject::destroyed, this, [this, peer] {
      --Open;
      if (--PerPeer[peer] <= 0) PerPeer.remove(peer);
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // Connected before the server's own reader: a flood is cut before it is parsed.
    connect(socket, &QTcpSocket::readyRead, socket, [socket] {
      if (socket->bytesAvailable() > kMostRequest) socket->abort();
    });
    QTimer::singleShot(kRequestMs, socket, [socket] {
      if (!socket->property(kStreamProperty).toBool()) socket->abort();
    });
    addPendingConnection(socket);
  }

 private:
  int Open = 0;
  QHash<QString, int> PerPeer;
};

class TDashboardServer : public QAbstractHttpServer {
 public:
  explicit TDashboardServer(const TDashboardSetup& setup) : Setup(setup) {
    connect(&Poll, &QTimer::timeout, this, [this] { Refresh(); });
    Poll.start(kPollMs);
  }

  // The first read: a database that cannot be read is told at the start, not on the page.
  void Open() {
    Store = std::make_unique<TStationStore>(Setup.Db, std::string(), std::string(),
                                            TStoreAccess::ReadOnly);
    Refresh();
    if (!Failure.isEmpty()) throw EVestraError(Failure.toStdString());
  }

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
    const QString path = request.url().path();
    if (request.method() != QHttpServerRequest::Method::Get) {
      Answer(request, socket, TStatus::MethodNotAllowed, "text/plain; charset=utf-8",
             "Только GET\n");
      return true;
    }
    if (!Setup.Token.isEmpty() && !Admitted(request, socket)) return true;
    for (const TRoute& route : kRoutes)
      if (path == QLatin1String(route.Path.data(), route.Path.size())) {
        Serve(route, request, socket);
        return true;
      }
    return false;
  }

  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
    Answer(request, socket, TStatus::NotFound, "text/plain; charset=utf-8", "Нет такой страницы\n");
  }

 private:
  TDashboardSetup Setup;
  std::unique_ptr<TStationStore> Store;
  QTimer Poll;
  QByteArray Snapshot = "{}";        // the latest, compact JSON
  std::vector<TAttemptRecord> Held;  // the record as read last
  int SinceWhole = 0;
  QString Failure;  // the last read's, empty when it succeeded
  std::vector<QPointer<QTcpSocket>> Streams;

  // The token once, in the address: kept in a cookie, and the address shown without it.
  bool Admitted(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QByteArray given = QUrlQuery(request.url()).queryItemValue("token").toUtf8();
    if (!given.isEmpty() && SameSecret(given, Setup.Token)) {
      auto responder = makeResponder(request, socket);
      responder.writeStatusLine(TStatus::SeeOther);
      Common(responder);
      // Back to the page asked for, if it is one of ours; no text of the request goes into a
      // header.
      QByteArray location = "/";
      for (const TRoute& route : kRoutes)
        if (request.url().path() == QLatin1String(route.Path.data(), route.Path.size()))
          location = QByteArray(route.Path.data(), static_cast<qsizetype>(route.Path.size()));
      responder.writeHeader("Location", location);
      responder.writeHeader("Set-Cookie", QByteArray(kCookie) + "=" + Setup.Token +
                                              "; HttpOnly; SameSite=Strict; Path=/");
      responder.writeHeader("Content-Length", "0");
      responder.writeBody("");
      return false;
    }
    if (SameSecret(CookieValue(request.value("cookie"), kCookie), Setup.Token)) return true;
    Answer(request, socket, TStatus::Forbidden, "text/plain; charset=utf-8",
           "Нужен ключ доступа: откройте адрес с ?token=, выведенный панелью при запуске\n");
    return false;
  }

  static void Common(QHttpServerResponder& responder) {
    responder.writeHeader("Content-Security-Policy", kPolicy);
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    responder.writeHeader("Cache-Control", "no-store");
  }

  void Answer(const QHttpServerRequest& request, QTcpSocket* socket, TStatus status,
              const char* type, const QByteArray& body, const char* download = nullptr) {
    auto responder = makeResponder(request, socket);
    responder.writeStatusLine(status);
    Common(responder);
    responder.writeHeader("Content-Type", type);
    if (download)
      responder.writeHeader("Content-Disposition",
                            QByteArray("attachment; filename=\"") + download + "\"");
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(body);
  }

  void Serve(const TRoute& route, const QHttpServerRequest& request, QTcpSocket* socket) {
    switch (route.Served) {
      case TServed::File: {
        QFile file(route.Resource);
        file.open(QIODevice::ReadOnly);
        return Answer(request, socket, TStatus::Ok, route.Type, file.readAll());
      }
      case TServed::State:
        return Answer(request, socket, TStatus::Ok, route.Type, Snapshot);
      case TServed::Csv:
      case TServed::Json:
        return Report(route, request, socket);
      case TServed::Events:
        return Stream(route, request, socket);
    }
  }

  void Report(const TRoute& route, const QHttpServerRequest& request, QTcpSocket* socket) {
    QByteArray body;
    try {
      if (!Store) Reopen();
      for (const std::string& line :
           ReportLines(Store->Attempts(),
                       route.Served == TServed::Csv ? TReportFormat::Csv : TReportFormat::Json))
        body.append(line).append('\n');
    } catch (const std::exception& error) {
      Store.reset();
      return Answer(request, socket, TStatus::ServiceUnavailable, "text/plain; charset=utf-8",
                    QByteArray("Ошибка: ") + error.what() + "\n");
    }
    Answer(request, socket, TStatus::Ok, route.Type, body, route.Download);
  }

  // An event stream stays open: each change of the line goes to it as one event.
  void Stream(const TRoute& route, const QHttpServerRequest& request, QTcpSocket* socket) {
    std::erase_if(Streams, [](const QPointer<QTcpSocket>& s) { return s.isNull(); });
    if (Streams.size() >= static_cast<std::size_t>(kMostStreams))
      return Answer(request, socket, TStatus::ServiceUnavailable, "text/plain; charset=utf-8",
                    "Слишком много открытых страниц\n");
    auto responder = makeResponder(request, socket);
    responder.writeStatusLine(TStatus::Ok);
    Common(responder);
    responder.writeHeader("Content-Type", route.Type);
    responder.writeHeader("Connection", "keep-alive");
    responder.writeBody("retry: 2000\n\n");
    socket->setProperty(kStreamProperty, true);
    socket->write(Event(Snapshot));
    Streams.emplace_back(socket);
  }

  static QByteArray Event(const QByteArray& json) { return "data: " + json + "\n\n"; }

  void Reopen() {
    Store = std::make_unique<TStationStore>(Setup.Db, std::string(), std::string(),
                                            TStoreAccess::ReadOnly);
  }

  // The record as it is now. It only grows, and an attempt changes only while it is "started":
  // it is read again from the first one that is, the rest kept. A completion replayed long after
  // (a station's journal) changes an earlier one too: the whole record is read every minute.
  const std::vector<TAttemptRecord>& Fresh() {
    if (++SinceWhole >= kWholeEvery || Held.empty()) {
      SinceWhole = 0;
      Held = Store->Attempts();
      return Held;
    }
    std::size_t keep = 0;
    while (keep < Held.size() && Held[keep].Result != "started") ++keep;
    const long long from = keep < Held.size() ? Held[keep].Id : Held.back().Id + 1;
    std::vector<TAttemptRecord> later = Store->AttemptsFrom(from);
    Held.resize(keep);
    Held.insert(Held.end(), later.begin(), later.end());
    return Held;
  }

  void Refresh() {
    TLineRecord record;
    try {
      if (!Store) Reopen();
      record.States = Store->States();
      record.Attempts = Fresh();
      record.RowsLeft = Store->Counts().Left;
      Failure.clear();
    } catch (const std::exception& error) {
      Store.reset();  // opened again at the next poll
      Held.clear();
      Failure = QString::fromUtf8(error.what());
    }
    const QDateTime now = QDateTime::currentDateTime();
    QJsonObject snapshot = Failure.isEmpty() ? LineSnapshot(record, now.date().startOfDay(), now)
                                             : QJsonDocument::fromJson(Snapshot).object();
    snapshot["error"] = Failure;
    const QByteArray json = QJsonDocument(snapshot).toJson(QJsonDocument::Compact);
    if (json == Snapshot) return;
    Snapshot = json;
    const QByteArray event = Event(json);
    for (QPointer<QTcpSocket>& stream : Streams) {
      if (stream.isNull()) continue;
      // A page that does not read holds no more than its share of memory.
      if (stream->bytesToWrite() > kMostBehind)
        stream->abort();
      else
        stream->write(event);
    }
    std::erase_if(Streams, [](const QPointer<QTcpSocket>& s) { return s.isNull(); });
  }
};

void Say(const QString& text) {
  const QByteArray bytes = (text + "\n").toUtf8();
  std::fwrite(bytes.data(), 1, static_cast<std::size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}

}  // namespace

TDashboardSetup DashboardSetup(const QString& db, const QString& listen, const QString& tokenFile) {
  TDashboardSetup setup;
  setup.Db = db;
  if (!listen.isEmpty()) {
    const qsizetype colon = listen.lastIndexOf(':');
    QString address = listen.left(colon);
    if (address.startsWith('[') && address.endsWith(']'))
      address = address.mid(1, address.size() - 2);
    bool number = false;
    const uint port = listen.mid(colon + 1).toUInt(&number);
    // Port 0: any free one, as printed at the start.
    if (colon < 0 || !number || port > 65535)
      throw EUsage{"--listen: нужен АДРЕС:ПОРТ, например 0.0.0.0:8470, а не " +
                   listen.toStdString()};
    setup.Port = static_cast<quint16>(port);
    if (address == "localhost") address = "127.0.0.1";
    if (!setup.Address.setAddress(address))
      throw EUsage{"--listen: не адрес: " + address.toStdString()};
  }
  if (!tokenFile.isEmpty()) {
    QFile file(tokenFile);
    if (!file.open(QIODevice::ReadOnly))
      throw EVestraError("Не удалось прочитать ключ доступа " + tokenFile.toStdString() + " (" +
                         file.errorString().toStdString() + ")");
    setup.Token = file.read(4096).split('\n').value(0).trimmed();
    // The token travels in a cookie and an address: printable ASCII only, and long enough.
    const bool printable = std::all_of(setup.Token.begin(), setup.Token.end(), [](char c) {
      return c > ' ' && c < 0x7f && c != ';' && c != '&' && c != '#' && c != '%' && c != '+';
    });
    if (setup.Token.size() < 16 || !printable)
      throw EVestraError("Ключ доступа " + tokenFile.toStdString() +
                         ": нужно не меньше 16 знаков из латинских букв, цифр и знаков без "
                         "пробелов");
  } else if (!setup.Address.isLoopback()) {
    std::array<quint32, 4> random;
    QRandomGenerator::system()->fillRange(random.data(), random.size());
    setup.Token = QByteArray(reinterpret_cast<const char*>(random.data()), sizeof random).toHex();
  }
  return setup;
}

int ServeDashboard(const TDashboardSetup& setup) {
  Q_INIT_RESOURCE(dashboard);
  if (!TStationStore::IsPostgres(setup.Db) && !QFileInfo::exists(setup.Db)) {
    std::fprintf(stderr, "Ошибка: Нет базы данных станции %s\n", setup.Db.toUtf8().constData());
    return ExitFailed;
  }
  TDashboardServer server(setup);
  try {
    server.Open();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "Ошибка: %s\n", error.what());
    return ExitFailed;
  }
  auto* gate = new TGate(&server);
  if (!gate->listen(setup.Address, setup.Port)) {
    std::fprintf(stderr, "Ошибка: Не удалось открыть %s:%u (%s)\n",
                 setup.Address.toString().toUtf8().constData(), setup.Port,
                 gate->errorString().toUtf8().constData());
    return ExitFailed;
  }
  server.bind(gate);
  const QString host = setup.Address.protocol() == QAbstractSocket::IPv6Protocol
                           ? "[" + setup.Address.toString() + "]"
                           : setup.Address.toString();
  const QString address = QString("http://%1:%2/").arg(host).arg(gate->serverPort());
  Say("Панель линии: " + address + " (база данных " + TStationStore::Shown(setup.Db) + ")");
  if (!setup.Token.isEmpty())
    Say("Откройте один раз с ключом доступа: " + address +
        "?token=" + QString::fromLatin1(setup.Token));
  return QCoreApplication::exec();
}
