#include "app/dialogs/AboutBox.h"

#include "app/widgets/Glyphs.h"
#include "core/Protocol.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextEdit>

using namespace Qt::StringLiterals;

namespace {
constexpr int kClientWidth = 298;
constexpr int kClientHeight = 343;
}  // namespace

QStringList AboutBox::guideLines() {
    return {
        u"Программа \"Зовница\" служит для"_s,
        u"разговора между пользователями"_s,
        u"компьютеров локальной сети,"_s,
        u"связанных по протоколу TCP/IP."_s,
        QString(),
        u"НАСТРОЙКА :"_s,
        QString(),
        u"1. Составьте полный список"_s,
        u"корреспондентов, включая себя."_s,
        u"Каждому дайте произвольное имя"_s,
        u"и укажите точный IP-адрес его"_s,
        u"компьютера. Список составляется"_s,
        u"через всплывающее меню правой"_s,
        u"кнопки мыши на странице \"Настройка\"."_s,
        u"Список можно и не набирать: команда"_s,
        u"\"Найти в сети ...\" (Ctrl+F) опросит"_s,
        u"сеть и внесёт в него все запущенные"_s,
        u"копии программы с их именами."_s,
        u"2. Впишите своё имя в поле"_s,
        u"\"Ваше имя\"."_s,
        u"3. Если нужно, выберите на странице"_s,
        u"\"Настройка\", как программа, пока"_s,
        u"она не активна, отзывается на новое"_s,
        u"сообщение или на подключение нового"_s,
        u"корреспондента: всплывает на экран"_s,
        u"и (или) подаёт звуковой сигнал."_s,
        QString(),
        u"РАБОТА :"_s,
        QString(),
        u"После запуска программа просматривает"_s,
        u"весь список корреспондентов и"_s,
        u"регистрируется в списке \"Участвуют\""_s,
        u"каждой запущенной копии программы."_s,
        u"Затем сообщение набирается в поле"_s,
        u"\"Сообщение\" и отправляется кнопкой"_s,
        u"\"Отправить (Enter)\" или клавишей"_s,
        u"Enter — всем участникам или только"_s,
        u"выбранному в списке \"Участвуют\""_s,
        u"(переключатель \"Кому :\")."_s,
        u"Все полученные сообщения видны"_s,
        u"в поле \"Информация\"; правая кнопка"_s,
        u"мыши на нём позволяет скопировать,"_s,
        u"сохранить или очистить разговор."_s,
        u"Список и настройки хранятся рядом"_s,
        u"с программой, а у установленной"_s,
        u"программы — в ~/.config/Vesmar/."_s,
        QString(),
        u"Если корреспондент не появляется"_s,
        u"в \"Участвуют\", проверьте его адрес"_s,
        u"и брандмауэр: порты UDP %1 и %2"_s.arg(Protocol::kPort).arg(Protocol::kHandshakePort),
        u"должны быть открыты на обеих машинах"_s,
        u"(ufw allow Vesmar или firewall-cmd"_s,
        u"--add-service=vesmar)."_s,
        QString(),
        u"-------------------------------------"_s,
    };
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(u"AboutBox"_s);
    setWindowTitle(u"About"_s);
    QFont font(u"MS Sans Serif"_s, 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    setFixedSize(kClientWidth, kClientHeight);

    auto* panel = new QFrame(this);
    panel->setObjectName(u"panel"_s);
    panel->setFrameStyle(QFrame::Box | QFrame::Sunken);  // lowered outside, raised inside
    panel->setGeometry(8, 8, 281, 305);

    auto* iconLabel = new QLabel(panel);
    iconLabel->setObjectName(u"iconLabel"_s);
    iconLabel->setPixmap(programPicture(64));
    iconLabel->setScaledContents(true);
    iconLabel->setGeometry(8, 8, 49, 57);

    productName = new QLabel(u"\"Зовница\""_s, panel);
    productName->setObjectName(u"productName"_s);
    QFont bold;
    bold.setBold(true);
    productName->setFont(bold);
    productName->setGeometry(72, 14, 200, 20);

    version = new QLabel(u"Версия  1.05  от  16.02.2000"_s, panel);
    version->setObjectName(u"version"_s);
    version->setGeometry(72, 40, 200, 18);

    guide = new QTextEdit(panel);
    guide->setObjectName(u"guide"_s);
    guide->setGeometry(8, 104, 265, 193);
    guide->setReadOnly(true);
    guide->setAcceptRichText(false);
    guide->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    guide->setPlainText(guideLines().join(u'\n'));
    QTextCursor all(guide->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    all.mergeBlockFormat(centred);

    okButton = new QPushButton(u"OK"_s, this);
    okButton->setObjectName(u"okButton"_s);
    okButton->setDefault(true);
    okButton->setGeometry((kClientWidth - 75) / 2, 315, 75, 25);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutBox::showEvent(QShowEvent* event) {
    if (QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}
