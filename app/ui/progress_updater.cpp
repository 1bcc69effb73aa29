#include "app/ui/progress_updater.h"

#include <utility>

ProgressBarUpdater::ProgressBarUpdater(ProgressBarTarget target) : target_(std::move(target)) {
    if (target_.setRange) target_.setRange(range_);
    if (target_.setPosition) target_.setPosition(0);
}

void ProgressBarUpdater::BeginStage(int steps, float endFraction) {
    stageStart_ = current_;
    stageEnd_ = endFraction;
    steps_ = steps;
    step_ = 0;
}

void ProgressBarUpdater::Step() {
    if (step_ < steps_) ++step_;
    // A stage of no steps stands at its end.
    const float span = stageEnd_ - stageStart_;
    current_ = steps_ > 0 ? stageStart_ + span * static_cast<float>(step_) / static_cast<float>(steps_) : stageEnd_;
    if (target_.setPosition) target_.setPosition(static_cast<int>(current_ * static_cast<float>(range_)));
}
