// SPDX-License-Identifier: GPL-3.0-or-later
// A decorator host passes on every call it does not change: each call made
// through the forwarding base arrives, once, with its values, and what the
// wrapped host answers comes back.

#include "run/forwarding_host.h"

#include <gtest/gtest.h>

namespace {

// Answers with values no default gives, and names every call it gets.
class CallLog final : public BatchHost {
public:
    mutable std::vector<std::string> calls;

    bool inverse() const override { return note("inverse"); }
    bool debayerSafe() const override { return note("debayerSafe"); }
    bool showEffect() const override { return note("showEffect"); }
    bool removeIncomplete() const override { return note("removeIncomplete"); }
    void showPreview(const OutputBitmap& picture) override { note("showPreview " + std::to_string(picture.width())); }
    void showWarning(const std::string& caption) override { note("showWarning " + caption); }
    void setProgressMax(std::int32_t frames) override { note("setProgressMax " + std::to_string(frames)); }
    void setProgress(std::int32_t frames) override { note("setProgress " + std::to_string(frames)); }
    void processEvents() override { note("processEvents"); }
    void appendLog(const std::string& line, bool repaint) override
    {
        note("appendLog " + line + (repaint ? " repaint" : ""));
    }
    void showMessage(const std::string& text) override { note("showMessage " + text); }
    void frameAnalysed(const FrameRecord& record) override { note("frameAnalysed " + std::to_string(record.index)); }
    void bestFrame(const OutputBitmap& picture) override { note("bestFrame " + std::to_string(picture.width())); }
    void showFrame(const FrameView& frame, const FrameOverlay& overlay) override
    {
        note("showFrame " + std::to_string(frame.width) + " " + overlay.outcome);
    }
    bool wantsLiveFrame() override { return note("wantsLiveFrame"); }
    void showLiveFrame(const FrameView& frame, const FrameOverlay& overlay, const FrameRecord& record) override
    {
        note("showLiveFrame " + std::to_string(frame.width) + " " + overlay.outcome + " "
             + std::to_string(record.index));
    }
    void qualityScores(const std::vector<double>& scores, std::int32_t kept) override
    {
        note("qualityScores " + std::to_string(scores.size()) + " " + std::to_string(kept));
    }
    void joinedFileStarted(const std::string& input) override { note("joinedFileStarted " + input); }

    std::vector<std::string> files() const override
    {
        note("files");
        return {"a.ser"};
    }
    std::size_t testedFile() const override
    {
        note("testedFile");
        return 3;
    }
    RunChoices choices() const override
    {
        note("choices");
        RunChoices chosen;
        chosen.thresholdPosition = -7;
        return chosen;
    }

    void clearLog() override { note("clearLog"); }
    void setStatus(StatusPanel panel, const std::string& text) override
    {
        note("setStatus " + std::to_string(int(panel)) + " " + text);
    }
    void setControlsEnabled(bool enabled) override { note("setControlsEnabled " + std::to_string(enabled)); }
    void setProcessEnabled(bool enabled) override { note("setProcessEnabled " + std::to_string(enabled)); }
    void showTestPassed(std::int32_t w, std::int32_t h) override
    {
        note("showTestPassed " + std::to_string(w) + "x" + std::to_string(h));
    }
    void showCropSize(std::int32_t w, std::int32_t h) override
    {
        note("showCropSize " + std::to_string(w) + "x" + std::to_string(h));
    }
    void selectOutputMode(bool color) override { note("selectOutputMode " + std::to_string(color)); }
    void resetProgress() override { note("resetProgress"); }
    void fillProgress() override { note("fillProgress"); }
    void fileFinished(const FileOutcome& file) override { note("fileFinished " + file.input); }

private:
    bool note(const std::string& call) const
    {
        calls.push_back(call);
        return true;
    }
};

}   // namespace

TEST(ForwardingHost, EveryCallReachesTheWrappedHostWithItsValues)
{
    CallLog shell;
    ForwardingBatchHost host(shell);
    BatchHost& wrapper = host;
    OutputBitmap picture;
    picture.setSize(4, 2);
    const std::uint8_t pixel[3] = {};
    const FrameView frame{.data = pixel, .stride = 3, .width = 1, .height = 1};
    FrameOverlay overlay;
    overlay.outcome = "cut";
    FrameRecord record;
    record.index = 9;
    FileOutcome file;
    file.input = "b.avi";

    EXPECT_TRUE(wrapper.inverse());
    EXPECT_TRUE(wrapper.debayerSafe());
    EXPECT_TRUE(wrapper.showEffect());
    EXPECT_TRUE(wrapper.removeIncomplete());
    wrapper.showPreview(picture);
    wrapper.showWarning("no planet");
    wrapper.setProgressMax(40);
    wrapper.setProgress(20);
    wrapper.processEvents();
    wrapper.appendLog("line", true);
    wrapper.showMessage("text");
    wrapper.frameAnalysed(record);
    wrapper.bestFrame(picture);
    wrapper.showFrame(frame, overlay);
    EXPECT_TRUE(wrapper.wantsLiveFrame());
    wrapper.showLiveFrame(frame, overlay, record);
    wrapper.qualityScores({1.0, 0.5}, 1);
    wrapper.joinedFileStarted("c.avi");
    EXPECT_EQ(wrapper.files(), std::vector<std::string>{"a.ser"});
    EXPECT_EQ(wrapper.testedFile(), 3u);
    EXPECT_EQ(wrapper.choices().thresholdPosition, -7);
    wrapper.clearLog();
    wrapper.setStatus(BatchHost::kFileName, "b.avi");
    wrapper.setControlsEnabled(true);
    wrapper.setProcessEnabled(true);
    wrapper.showTestPassed(64, 48);
    wrapper.showCropSize(64, 48);
    wrapper.selectOutputMode(true);
    wrapper.resetProgress();
    wrapper.fillProgress();
    wrapper.fileFinished(file);

    const std::vector<std::string> expected{"inverse",
                                            "debayerSafe",
                                            "showEffect",
                                            "removeIncomplete",
                                            "showPreview 4",
                                            "showWarning no planet",
                                            "setProgressMax 40",
                                            "setProgress 20",
                                            "processEvents",
                                            "appendLog line repaint",
                                            "showMessage text",
                                            "frameAnalysed 9",
                                            "bestFrame 4",
                                            "showFrame 1 cut",
                                            "wantsLiveFrame",
                                            "showLiveFrame 1 cut 9",
                                            "qualityScores 2 1",
                                            "joinedFileStarted c.avi",
                                            "files",
                                            "testedFile",
                                            "choices",
                                            "clearLog",
                                            "setStatus 1 b.avi",
                                            "setControlsEnabled 1",
                                            "setProcessEnabled 1",
                                            "showTestPassed 64x48",
                                            "showCropSize 64x48",
                                            "selectOutputMode 1",
                                            "resetProgress",
                                            "fillProgress",
                                            "fileFinished b.avi"};
    EXPECT_EQ(shell.calls, expected);
}
