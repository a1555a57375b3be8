#include "app/widgets/SweepProgressLine.h"

#include "core/DiscoverySweep.h"
#include "core/SweepTexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

using namespace Qt::StringLiterals;

SweepProgressLine::SweepProgressLine(QWidget* parent) : QFrame(parent) {
    setObjectName(u"sweepLine"_s);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    bar = new QProgressBar(this);
    bar->setObjectName(u"sweepBar"_s);
    bar->setTextVisible(false);
    bar->setFixedWidth(120);
    label = new QLabel(this);
    label->setObjectName(u"sweepLabel"_s);
    label->setTextFormat(Qt::PlainText);
    button = new QPushButton(SweepTexts::stopButton(), this);
    button->setObjectName(u"sweepButton"_s);
    button->setFocusPolicy(Qt::NoFocus);  // the keyboard stays where the user works
    layout->addWidget(bar);
    layout->addWidget(label, 1);
    layout->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this] {
        if (running_) {
            emit stopRequested();
        } else {
            hide();
        }
    });
    hide();
}

void SweepProgressLine::showProgress(const SweepProgress& progress, bool waiting) {
    running_ = true;
    bar->show();
    bar->setRange(0, progress.total);
    bar->setValue(progress.asked);
    label->setText(SweepTexts::progress(progress, waiting));
    button->setText(SweepTexts::stopButton());
    show();
}

void SweepProgressLine::showSummary(const SweepProgress& progress, bool cancelled) {
    running_ = false;
    bar->hide();
    label->setText(SweepTexts::summary(progress, cancelled));
    button->setText(SweepTexts::hideButton());
    show();
}
