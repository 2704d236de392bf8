// Qt's own texts in Russian, like the rest of the program: the buttons of the message boxes
// ("Да", "Нет", "OK") and everything in the file dialogs. Every program that can show a Qt
// dialog calls this once, right after it has made its application object.
#pragma once

class QCoreApplication;

// Loads "qtbase_ru.qm" from Qt's translations folder (Debian: qt6-translations-l10n) and
// installs it into `app`, which then owns it. False when the file is missing or unreadable; the
// texts then stay English and nothing else changes.
bool InstallRussianTranslations(QCoreApplication& app);
