#pragma once

class QCoreApplication;
class QLocale;

// Loads the texts that Qt supplies by itself (the file dialog, the line
// edits' context menus, the standard buttons of Qt's own boxes) in the
// language of locale, from Qt's installed translations. The program's own
// captions are not translated: they are the same in every locale. Returns
// false when no translation for the locale is installed; Qt then speaks
// English.
bool installQtTranslations(QCoreApplication& app, const QLocale& locale);
