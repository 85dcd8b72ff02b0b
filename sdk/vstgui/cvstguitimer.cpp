#include "vstgui/cvstguitimer.h"

#include <algorithm>

namespace VSTGUI {

const IdStringPtr CVSTGUITimer::kMsgTimer = "timer fired";

CVSTGUITimer::CVSTGUITimer(CBaseObject* timerObject, std::int32_t fireTime)
    : timerObject_(timerObject), fireTime_(std::max<std::int32_t>(1, fireTime)) {}

CVSTGUITimer::~CVSTGUITimer() {
    stop();
}

bool CVSTGUITimer::start() {
    if (running_) {
        return true;
    }
    running_ = true;
    if (scheduler_ != nullptr) {
        scheduler_->timerChanged(this);
    }
    return true;
}

bool CVSTGUITimer::stop() {
    if (!running_) {
        return true;
    }
    running_ = false;
    if (scheduler_ != nullptr) {
        scheduler_->timerChanged(this);
    }
    return true;
}

bool CVSTGUITimer::setFireTime(std::int32_t milliseconds) {
    if (milliseconds < 1) {
        return false;
    }
    if (milliseconds != fireTime_) {
        fireTime_ = milliseconds;
        if (running_ && scheduler_ != nullptr) {
            scheduler_->timerChanged(this);
        }
    }
    return true;
}

void CVSTGUITimer::setScheduler(Scheduler* scheduler) {
    scheduler_ = scheduler;
}

void CVSTGUITimer::fire() {
    if (running_ && timerObject_ != nullptr) {
        timerObject_->notify(this, kMsgTimer);
    }
}

} // namespace VSTGUI
