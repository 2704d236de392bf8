#include "tests/support/Browser.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace {

// Descriptors out of the way of 3 and 4, where the browser expects its pipes.
int High(int fd) {
  const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
  close(fd);
  return high;
}

}  // namespace

TBrowser::TBrowser() : Profile(QString(VESTRA_TEST_TEMP) + "/browser-XXXXXX") {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
  const int childIn = High(in[0]), childOut = High(out[1]);
  ToBrowser = High(in[1]);
  FromBrowser = High(out[0]);
  const std::string profile = Profile.path().toStdString();
  std::vector<std::string> args = {"chromium",
                                   "--headless",
                                   "--no-sandbox",  // the tests may run as root
                                   "--disable-gpu",
                                   "--no-first-run",
                                   "--no-default-browser-check",
                                   "--disable-background-networking",
                                   "--disable-extensions",
                                   "--window-size=1400,1000",
                                   "--remote-debugging-pipe",
                                   "--user-data-dir=" + profile,
                                   "about:blank"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string log = profile + "/browser.log";
  Pid = fork();
  if (Pid == 0) {
    dup2(childIn, 3);
    dup2(childOut, 4);
    const int quiet = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(childIn);
  close(childOut);
  if (Pid < 0) throw std::runtime_error("fork");
  const QJsonArray targets = Call("Target.getTargets", {}, false)["targetInfos"].toArray();
  QString page;
  for (const QJsonValue& target : targets)
    if (target["type"].toString() == "page") page = target["targetId"].toString();
  if (page.isEmpty())
    page = Call("Target.createTarget", {{"url", "about:blank"}}, false)["targetId"].toString();
  Session =
      Call("Target.attachToTarget", {{"targetId", page}, {"flatten", true}}, false)["sessionId"]
          .toString()
          .toStdString();
}

TBrowser::~TBrowser() {
  if (Pid > 0) {
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
  }
  for (int fd : {ToBrowser, FromBrowser})
    if (fd >= 0) close(fd);
}

QJsonObject TBrowser::Call(const char* method, const QJsonObject& params, bool toPage) {
  const int id = ++LastId;
  QJsonObject message{{"id", id}, {"method", method}, {"params", params}};
  if (toPage) message["sessionId"] = QString::fromStdString(Session);
  const QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
  if (write(ToBrowser, bytes.data(), static_cast<size_t>(bytes.size())) != bytes.size())
    throw std::runtime_error("the browser's pipe is closed");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    // Events come in between; only the answer to this command counts.
    for (qsizetype end; (end = Held.indexOf('\0')) >= 0;) {
      const QJsonObject answer = QJsonDocument::fromJson(Held.left(end)).object();
      Held.remove(0, end + 1);
      if (answer["id"].toInt() != id) continue;
      if (answer.contains("error"))
        throw std::runtime_error(std::string(method) + ": " +
                                 QJsonDocument(answer["error"].toObject()).toJson().toStdString());
      return answer["result"].toObject();
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fd{FromBrowser, POLLIN, 0};
    if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0)
      throw std::runtime_error(std::string(method) + ": no answer from the browser");
    char buffer[65536];
    const ssize_t n = read(FromBrowser, buffer, sizeof buffer);
    if (n <= 0) throw std::runtime_error(std::string(method) + ": the browser ended");
    Held.append(buffer, n);
  }
}

void TBrowser::Open(const std::string& url) {
  Call("Page.navigate", {{"url", QString::fromStdString(url)}});
}

QJsonValue TBrowser::Evaluate(const std::string& expression) {
  const QJsonObject result =
      Call("Runtime.evaluate",
           {{"expression", QString::fromStdString(expression)}, {"returnByValue", true}});
  if (result.contains("exceptionDetails")) return QJsonValue::Null;
  return result["result"].toObject()["value"];
}

std::string TBrowser::Text(const std::string& expression) {
  return Evaluate(expression).toString().toStdString();
}

QByteArray TBrowser::Screenshot() {
  return QByteArray::fromBase64(
      Call("Page.captureScreenshot", {{"format", "png"}, {"captureBeyondViewport", true}})["data"]
          .toString()
          .toLatin1());
}
