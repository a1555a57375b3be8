#pragma once

class ConversationLog;
class UniformListView;
class QAction;
class QButtonGroup;
class QCheckBox;
class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;
class QWidget;
class SweepProgressLine;
struct Settings;

// The widgets of the main window that its code works with, held privately by
// the window. setupUi builds the whole tree on the window with every
// caption, hint and size; frames, group boxes and labels that only arrange
// the rest stay inside setupUi. The window owns every widget. Each widget's
// objectName is its field name (or, for the arranging ones, a name for its
// role), which is how tests find them.
struct MainWindowUi {
    // Status line.
    QLabel* clockLabel = nullptr;
    QToolButton* aboutButton = nullptr;
    QLabel* receiveOffLabel = nullptr;      // shown while the port could not be bound
    QLabel* lostDatagramsLabel = nullptr;   // shown once a datagram was lost on arrival
    QLabel* undeliveredLabel = nullptr;     // shown once a line went unconfirmed
    QLabel* refusedEntriesLabel = nullptr;  // shown once relayed entries were refused
    QLabel* rosterFullLabel = nullptr;      // shown once roster lines were refused
    // Above the status line, shown while a network search runs and after it.
    SweepProgressLine* sweepLine = nullptr;

    // The two pages: 0 the conference, 1 the settings.
    QTabWidget* pages = nullptr;

    // Page 0 "Зовница".
    QToolButton* registerButton = nullptr;
    UniformListView* rosterView = nullptr;  // the roster, sorted; any length
    QLineEdit* selfNameEdit = nullptr;
    QFrame* sendPanel = nullptr;  // the message line and its button; opens windowMenu
    QPushButton* sendButton = nullptr;
    QLineEdit* messageEdit = nullptr;
    QButtonGroup* recipientChoice = nullptr;   // ids 0 "Всем" and 1 "Выборочно"
    QRadioButton* toEveryoneButton = nullptr;  // "Всем"
    QRadioButton* toSelectedButton = nullptr;  // "Выборочно"
    ConversationLog* logView = nullptr;

    // Page 1 "Настройка": the four alert rules, each a switch and a filter.
    QCheckBox* messagePopUpBox = nullptr;
    QLineEdit* messagePopUpFilter = nullptr;
    QCheckBox* correspondentPopUpBox = nullptr;
    QLineEdit* correspondentPopUpFilter = nullptr;
    QCheckBox* messageBeepBox = nullptr;
    QLineEdit* messageBeepFilter = nullptr;
    QCheckBox* correspondentBeepBox = nullptr;
    QLineEdit* correspondentBeepFilter = nullptr;
    QCheckBox* minimizeOnStartBox = nullptr;  // in a hidden group; only kept in the settings
    QListView* directoryView = nullptr;

    // The window's own menu (also the send panel's): send, shortcut Enter.
    QMenu* windowMenu = nullptr;
    QAction* sendAction = nullptr;

    // The directory view's menu.
    QMenu* directoryMenu = nullptr;
    QAction* editEntryAction = nullptr;
    QAction* addEntryAction = nullptr;
    QAction* findOnNetworkAction = nullptr;  // shortcut Ctrl+F from every control
    QAction* insertEntryAction = nullptr;
    QAction* deleteEntryAction = nullptr;
    QAction* deleteAllAction = nullptr;
    QAction* checkLinkAction = nullptr;
    QAction* shareDirectoryAction = nullptr;
    QAction* shareEntryAction = nullptr;

    // The log view's menu.
    QMenu* logMenu = nullptr;
    QMenu* copyToMenu = nullptr;  // submenu "Скопировать в"
    QAction* copyToClipboardAction = nullptr;
    QAction* saveLogAction = nullptr;
    QAction* clearLogAction = nullptr;

    // The log's save dialog: built on the first save (createLogSaveDialog),
    // so nothing of it is read from the disk at start.
    QFileDialog* saveLogDialog = nullptr;

    void setupUi(QWidget* window);

    // The settings the widgets show: the self name (into selfNameEdit), the
    // four alert rules and the kept flag. A check box set to another state
    // greys or clears its filter edit, so each edit takes its rule's look.
    void showSettings(const Settings& settings);
    // What the widgets hold now; myName is the self-name field's text as typed.
    [[nodiscard]] Settings settings() const;

  private:
    [[nodiscard]] QWidget* setupStatusLine(QWidget* window);
    void setupChatPage(QWidget* page);
    void setupSettingsPage(QWidget* page);
    void setupMenus(QWidget* window);
};
