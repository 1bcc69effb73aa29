// The progress sink that long loops of the scan core call, with stages and
// steps, and its implementation that drives a progress bar from 0 to 1000.
// The bar is reached only through the target's two functions, which the
// Windows side makes post their messages, so a worker thread may call it.
#pragma once

#include <functional>

class ProgressUpdater {
  public:
    virtual ~ProgressUpdater() = default;
    // The next `steps` steps run the bar from where it stands to `endFraction`.
    virtual void BeginStage(int steps, float endFraction) = 0;
    virtual void Step() = 0;
};

struct ProgressBarTarget {
    std::function<void(int range)> setRange;
    std::function<void(int position)> setPosition;
};

class ProgressBarUpdater : public ProgressUpdater {
  public:
    // Sets the bar's range to 0..1000 and its position to 0.
    explicit ProgressBarUpdater(ProgressBarTarget target);
    void BeginStage(int steps, float endFraction) override;
    // One step, never past the stage's steps.
    void Step() override;
    float Current() const { return current_; }

  private:
    ProgressBarTarget target_;
    int range_ = 1000;
    float current_ = 0.0f;
    float stageStart_ = 0.0f;
    float stageEnd_ = 1.0f;
    int step_ = 0;
    int steps_ = 100;
};
