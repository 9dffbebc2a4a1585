#pragma once
// One QApplication for every case of a widget test program.

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "app_ui_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

// Registered once however many test files include this header.
[[maybe_unused]] inline testing::Environment* const qtEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);
