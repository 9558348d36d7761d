#pragma once

#include "shell/controls/LinkOpener.h"

#include <map>
#include <vector>

namespace kestrum::test {

// Records what a link asks of the platform and answers from its fields; nothing is opened.
class FakeLinkOpener final : public LinkOpener {
public:
    std::intptr_t shellResult = 42;
    std::intptr_t commandResult = 33;
    std::map<std::string, std::string> classes; // readable default values under the classes root

    std::vector<std::string> shellOpened;
    std::vector<std::string> commands;
    std::vector<std::string> failures;

    std::intptr_t shellOpen(const char* address, int) override {
        shellOpened.emplace_back(address);
        return shellResult;
    }
    bool classesRootDefault(const std::string& key, std::string& value) override {
        const auto found = classes.find(key);
        if (found == classes.end()) {
            return false;
        }
        value = found->second;
        return true;
    }
    std::intptr_t runCommand(const std::string& command, int) override {
        commands.push_back(command);
        return commandResult;
    }
    void reportFailure(HWND, const std::string& text) override { failures.push_back(text); }
};

} // namespace kestrum::test
