#pragma once
// One QApplication for every case of a widget test program: include this
// header in its test files (it registers itself once).

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

namespace movitest {

class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "movi_widget_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

} // namespace movitest

// Registered once however many test files include this header.
[[maybe_unused]] inline testing::Environment* const qtEnvironment =
    testing::AddGlobalTestEnvironment(new movitest::QtEnvironment);
