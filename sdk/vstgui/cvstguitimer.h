// A repeating timer that notifies its object with kMsgTimer. It has no clock
// of its own: a scheduler (the editor's run loop on Linux) calls fire() every
// getFireTime() milliseconds while the timer runs.
#pragma once

#include "vstgui/vstguibase.h"

namespace VSTGUI {

class CVSTGUITimer : public CBaseObject {
public:
    // "timer fired", the message the timer's object receives; compare the
    // pointer or the text.
    static const IdStringPtr kMsgTimer;

    class Scheduler {
    public:
        // The timer started, stopped or changed its period.
        virtual void timerChanged(CVSTGUITimer* timer) = 0;

    protected:
        ~Scheduler() = default;
    };

    // The timer does not hold a reference to its object.
    explicit CVSTGUITimer(CBaseObject* timerObject, std::int32_t fireTime = 100);
    ~CVSTGUITimer() override;

    bool start();
    bool stop();
    bool isRunning() const { return running_; }
    // Milliseconds between two notifications; at least 1.
    bool setFireTime(std::int32_t milliseconds);
    std::int32_t getFireTime() const { return fireTime_; }

    void setScheduler(Scheduler* scheduler);
    // Notifies the object when the timer runs.
    void fire();

private:
    CBaseObject* timerObject_;
    std::int32_t fireTime_;
    bool running_ = false;
    Scheduler* scheduler_ = nullptr;
};

} // namespace VSTGUI
