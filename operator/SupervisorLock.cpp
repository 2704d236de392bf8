#include "operator/SupervisorLock.h"

#include <QCryptographicHash>
#include <QInputDialog>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <cstdio>

#include "link/VestraError.h"
#include "operator/PasswordInput.h"
#include "operator/StationConfig.h"

namespace {

// Slow enough to make guessing a copied file's hash costly, quick enough for a person waiting.
constexpr int kIterations = 200000;
constexpr int kSaltBytes = 16, kHashBytes = 32;
const char kForm[] = "pbkdf2-sha256";

QByteArray Derive(const QString& password, const QByteArray& salt, int iterations) {
  return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt,
                                            iterations, kHashBytes);
}

}  // namespace

QString HashPassword(const QString& password) {
  QByteArray salt(kSaltBytes, 0);
  QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()),
                                        kSaltBytes / sizeof(quint32));
  return QString("%1:%2:%3:%4")
      .arg(kForm)
      .arg(kIterations)
      .arg(QString::fromLatin1(salt.toBase64()),
           QString::fromLatin1(Derive(password, salt, kIterations).toBase64()));
}

bool PasswordMatches(const QString& hash, const QString& password) {
  const QStringList parts = hash.split(':');
  if (parts.size() != 4 || parts[0] != kForm) return false;
  bool number = false;
  const int iterations = parts[1].toInt(&number);
  if (!number || iterations < 1) return false;
  const QByteArray salt = QByteArray::fromBase64(parts[2].toLatin1());
  const QByteArray expected = QByteArray::fromBase64(parts[3].toLatin1());
  const QByteArray given = Derive(password, salt, iterations);
  if (expected.size() != given.size()) return false;
  // Every byte compared, whatever the first difference, so the time tells nothing.
  unsigned char differ = 0;
  for (qsizetype i = 0; i < given.size(); ++i)
    differ |= static_cast<unsigned char>(given[i] ^ expected[i]);
  return differ == 0;
}

bool TSupervisorLock::Allow(QWidget* parent, const QString& what) const {
  if (!Locked()) return true;
  bool given = false;
  const QString password = QInputDialog::getText(parent, "Пароль старшего смены",
                                                 what + ": введите пароль старшего смены",
                                                 QLineEdit::Password, {}, &given);
  return given && PasswordMatches(Hash, password);
}

int SetPassword(const QString& file) {
  try {
    TStationConfig::Read(file);  // a file the station could run with, or nothing is changed
    const QString first = ReadPassword("Новый пароль старшего смены: ");
    const QString second = ReadPassword("Ещё раз: ");
    if (first.isEmpty()) throw EVestraError("Пароль не может быть пустым");
    if (first != second) throw EVestraError("Пароли не совпадают");
    TStationConfig::SetSupervisor(file, HashPassword(first));
    std::fprintf(stderr, "Пароль старшего смены записан в %s\n", file.toUtf8().constData());
    return 0;
  } catch (const EVestraError& error) {
    std::fprintf(stderr, "Ошибка: %s\n", error.what());
    return 1;
  }
}
