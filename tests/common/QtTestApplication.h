#pragma once
// One QApplication for every case of a widget test program: include this
// header in its test files (it registers itself once).

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <memory>

namespace movitest {

class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        // Windows keep copies of unsaved work in the state folder: never
        // the user's own during tests (a child process inherits this one).
        if (!std::getenv("MOVI_TEST_STATE_KEPT")) {
            m_state = std::make_unique<TempDir>("movi-state");
            setenv("XDG_STATE_HOME", m_state->path().c_str(), 1);
            setenv("MOVI_TEST_STATE_KEPT", "1", 1);
        }
        static int argc = 1;
        static char name[] = "movi_widget_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        m_app.reset();
        m_state.reset();
    }

private:
    std::unique_ptr<TempDir> m_state;
    std::unique_ptr<QApplication> m_app;
};

} // namespace movitest

// Registered once however many test files include this header.
[[maybe_unused]] inline testing::Environment* const qtEnvironment =
    testing::AddGlobalTestEnvironment(new movitest::QtEnvironment);
