// Debian's chromium, headless, as the tests' browser: driven over its DevTools protocol on a
// pair of pipes (--remote-debugging-pipe), so that a page is loaded, its script run and its DOM
// read back as a person's browser has them, with no port of its own to collide with anything.
#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QTemporaryDir>
#include <string>

class TBrowser {
 public:
  // Starts the browser with one empty page; throws std::runtime_error when it does not come up.
  TBrowser();
  ~TBrowser();
  TBrowser(const TBrowser&) = delete;
  TBrowser& operator=(const TBrowser&) = delete;

  // Navigates the page; its script runs on its own from then on.
  void Open(const std::string& url);
  // The value of a JavaScript expression in the page (null when it throws).
  QJsonValue Evaluate(const std::string& expression);
  // The page's text as the expression gives it, or empty.
  std::string Text(const std::string& expression);
  // The page as a PNG.
  QByteArray Screenshot();

 private:
  QTemporaryDir Profile;
  pid_t Pid = -1;
  int ToBrowser = -1, FromBrowser = -1;
  std::string Session;
  int LastId = 0;
  QByteArray Held;

  // A command and its result; throws std::runtime_error on an error or after a minute.
  QJsonObject Call(const char* method, const QJsonObject& params = {}, bool toPage = true);
};
