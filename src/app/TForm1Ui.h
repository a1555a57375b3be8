#pragma once

#include <array>

class ConversationLog;
class QAction;
class QButtonGroup;
class QCheckBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;

// The components of the main window, named as the window's handlers and the
// rest of the program know them. setupUi builds the whole tree on the form
// with every caption, hint and size; the form owns every component.
// Each widget's objectName is its field name.
struct TForm1Ui {
    // Status line.
    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;  // the clock
    QLabel* Label5 = nullptr;  // spacer at the right edge
    QLabel* Label6 = nullptr;
    QToolButton* SpeedButton1 = nullptr;  // About
    QLabel* LabelReceiveOff = nullptr;    // shown while the port could not be bound

    QTabWidget* TN1 = nullptr;

    // Page 0 "Зовница".
    QFrame* Panel2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QFrame* Panel5 = nullptr;
    QLabel* Label3 = nullptr;
    QToolButton* SpeedButton2 = nullptr;  // registration
    QListView* ListBox2 = nullptr;        // the roster
    QGroupBox* GroupBox2 = nullptr;
    QLineEdit* EditSelfName = nullptr;
    QFrame* Panel3 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QFrame* Panel4 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* BitBtn1 = nullptr;  // send
    QLineEdit* EditMessage = nullptr;
    QGroupBox* RadioGroup1 = nullptr;                 // recipient choice
    std::array<QRadioButton*, 2> RadioGroup1Items{};  // "Всем", "Выборочно"
    QButtonGroup* RadioGroup1Buttons = nullptr;       // ids 0 and 1
    QGroupBox* GroupBox4 = nullptr;
    ConversationLog* Memo1 = nullptr;  // the conversation log

    // Page 1 "Настройка".
    QGroupBox* GroupBox5 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QGroupBox* GroupBox7 = nullptr;  // hidden
    QCheckBox* CheckBox5 = nullptr;
    QGroupBox* GroupBox8 = nullptr;
    QLabel* Label2 = nullptr;
    QListView* ListBox1 = nullptr;  // the directory

    // Components without a window.
    QTimer* Timer1 = nullptr;

    QMenu* PopupMenu1 = nullptr;  // the window's and Panel4's
    QAction* N4 = nullptr;        // send, shortcut Enter

    QMenu* PopupMenu2 = nullptr;  // ListBox1's
    QAction* N3 = nullptr;
    QAction* N1 = nullptr;
    QAction* N7 = nullptr;
    QAction* N2 = nullptr;
    QAction* N17 = nullptr;
    QAction* N5 = nullptr;  // separator
    QAction* N6 = nullptr;
    QAction* N12 = nullptr;  // separator
    QAction* N13 = nullptr;
    QAction* N14 = nullptr;
    QAction* N19 = nullptr;  // separator, the last line

    QMenu* PopupMenu3 = nullptr;  // Memo1's
    QMenu* N8 = nullptr;          // submenu "Скопировать в"
    QAction* Clipboard1 = nullptr;
    QAction* N9 = nullptr;
    QAction* N10 = nullptr;  // separator
    QAction* N11 = nullptr;

    QFileDialog* SD1 = nullptr;  // saving the log

    void setupUi(QWidget* form);

  private:
    void setupStatusLine(QWidget* form);
    void setupChatPage(QWidget* page);
    void setupSettingsPage(QWidget* page);
    void setupMenus(QWidget* form);
};
