#include "FormFixture.h"

#include <sys/stat.h>

#include "Application.h"
#include "SysUtils.h"

namespace {

// One application object for the whole test program.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<TApplication>(argc_, argv_);
        app_->SetTitle("Varnel");
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "test_frontend";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<TApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

std::string ListText(const Lines& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

FormTest::FormTest() : form(std::make_unique<TRecordingForm>(dialogs)) {}

FormTest::~FormTest() { form.reset(); }

std::string FormTest::InstallTool() {
    std::string folder = dir.File("tool dir");
    CreateDir(folder);
    toolPath = folder + "/VarnelSilent";
    WriteBytes(toolPath,
               "#!/bin/sh\n"
               "{ printf '%s\\0' \"$@\"; printf '\\n'; } >> \"$(dirname \"$0\")/calls\"\n"
               "case \"$3\" in *fail*) exit 4;; esac\n"
               "exit 0\n");
    ::chmod(toolPath.c_str(), 0755);
    form->SetToolPath(toolPath);
    return toolPath;
}

std::vector<Lines> FormTest::ToolCalls() const {
    std::vector<Lines> calls;
    std::string record = ReadBytes(dir.File("tool dir/calls"));
    size_t start = 0;
    for (size_t end; (end = record.find('\n', start)) != std::string::npos; start = end + 1) {
        Lines args;
        std::string call = record.substr(start, end - start);
        size_t a = 0;
        for (size_t b; (b = call.find('\0', a)) != std::string::npos; a = b + 1) args.push_back(call.substr(a, b - a));
        calls.push_back(args);
    }
    return calls;
}

void FormTest::LoadList(const Lines& lines) {
    std::string file = dir.File("load.txt");
    WriteBytes(file, ListText(lines));
    dialogs.OpenAnswers.push_back(Lines{file});
    form->Button9Click(form->Button9);
}

Lines FormTest::MessageTexts() const {
    Lines texts;
    for (const auto& m : messages.Messages) texts.push_back(m.Text);
    return texts;
}

Lines FormTest::Rows() const {
    Lines rows;
    for (int i = 0; i < form->ListView1->Count(); ++i) {
        std::string row = form->ListView1->Caption(i);
        const TStringList& sub = form->ListView1->SubItems(i);
        for (int k = 0; k < sub.Count(); ++k) row += "|" + sub[k];
        rows.push_back(row);
    }
    return rows;
}
