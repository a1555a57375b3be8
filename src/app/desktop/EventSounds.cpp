#include "app/desktop/EventSounds.h"

#include <canberra.h>
#include <dlfcn.h>

#include <QByteArray>
#include <QMetaObject>
#include <QThread>

#include <utility>

namespace {

// At most one sound in this span.
constexpr qint64 kMinimumGapMs = 1000;
// After a sound system could not be opened, the next try waits this long:
// every try may log the drivers' complaints.
constexpr qint64 kReopenGapMs = 60000;

}  // namespace

// Lives on the sound thread: loads libcanberra, keeps one context open and
// plays on it. Only the sound thread calls it, after its construction.
class EventSounds::Player : public QObject {
  public:
    explicit Player(EventSounds* owner) : owner_(owner) {}
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;
    ~Player() override {
        if (context_ != nullptr) {
            destroy_(context_);
        }
        // The library stays loaded: its sound drivers may have left threads
        // and exit handlers behind.
    }

    void play(const QByteArray& soundEvent) {
        int result = CA_ERROR_NOTAVAILABLE;
        if (open()) {
            result = playEvent(soundEvent);
            if (result == CA_ERROR_NOTFOUND) {
                result = playEvent(QByteArrayLiteral("bell"));
            }
        }
        // Sounds switched off by the user stay off; every other failure
        // leaves the default beep to the GUI thread.
        if (result != CA_SUCCESS && result != CA_ERROR_DISABLED) {
            QMetaObject::invokeMethod(
                owner_, [owner = owner_] { emit owner->silent(); }, Qt::QueuedConnection);
        }
    }

  private:
    bool load() {
        if (library_ != nullptr) {
            return true;
        }
        if (triedLoading_) {
            return false;
        }
        triedLoading_ = true;
        void* library = dlopen("libcanberra.so.0", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            return false;
        }
        create_ =
            reinterpret_cast<decltype(&ca_context_create)>(dlsym(library, "ca_context_create"));
        open_ = reinterpret_cast<decltype(&ca_context_open)>(dlsym(library, "ca_context_open"));
        destroy_ =
            reinterpret_cast<decltype(&ca_context_destroy)>(dlsym(library, "ca_context_destroy"));
        changeProps_ = reinterpret_cast<decltype(&ca_context_change_props)>(
            dlsym(library, "ca_context_change_props"));
        play_ = reinterpret_cast<decltype(&ca_context_play)>(dlsym(library, "ca_context_play"));
        if (create_ == nullptr || open_ == nullptr || destroy_ == nullptr ||
            changeProps_ == nullptr || play_ == nullptr) {
            return false;
        }
        library_ = library;
        return true;
    }

    // A context whose driver could not be opened is dropped, and a sound a
    // while later tries again: the sound server may have started since.
    bool open() {
        if (context_ != nullptr) {
            return true;
        }
        if (!load()) {
            return false;
        }
        if (lastFailure_.isValid() && lastFailure_.elapsed() < kReopenGapMs) {
            return false;
        }
        ca_context* context = nullptr;
        if (create_(&context) != CA_SUCCESS) {
            return false;
        }
        changeProps_(context, CA_PROP_APPLICATION_NAME, "Зовница", CA_PROP_APPLICATION_ID,
                     "org.vesmar.Vesmar", CA_PROP_APPLICATION_ICON_NAME, "vesmar", nullptr);
        if (open_(context) != CA_SUCCESS) {
            destroy_(context);
            lastFailure_.start();
            return false;
        }
        context_ = context;
        return true;
    }

    int playEvent(const QByteArray& soundEvent) {
        return play_(context_, 0, CA_PROP_EVENT_ID, soundEvent.constData(),
                     CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr);
    }

    EventSounds* owner_;
    bool triedLoading_ = false;
    QElapsedTimer lastFailure_;
    void* library_ = nullptr;
    ca_context* context_ = nullptr;
    decltype(&ca_context_create) create_ = nullptr;
    decltype(&ca_context_open) open_ = nullptr;
    decltype(&ca_context_destroy) destroy_ = nullptr;
    decltype(&ca_context_change_props) changeProps_ = nullptr;
    decltype(&ca_context_play) play_ = nullptr;
};

EventSounds::EventSounds(QObject* parent) : QObject(parent) {}

EventSounds::~EventSounds() {
    if (thread_ != nullptr) {
        // The player goes on its own thread, after any sound still queued.
        QMetaObject::invokeMethod(
            player_, [player = player_] { delete player; }, Qt::BlockingQueuedConnection);
        thread_->quit();
        thread_->wait();
    }
}

void EventSounds::play(const QString& soundEvent) {
    if (lastPlayed_.isValid() && lastPlayed_.elapsed() < kMinimumGapMs) {
        return;
    }
    lastPlayed_.start();
    if (thread_ == nullptr) {
        thread_ = new QThread(this);
        thread_->setObjectName(QStringLiteral("sounds"));
        player_ = new Player(this);
        player_->moveToThread(thread_);
        thread_->start(QThread::LowPriority);
    }
    QMetaObject::invokeMethod(
        player_, [player = player_, id = soundEvent.toUtf8()] { player->play(id); },
        Qt::QueuedConnection);
}
