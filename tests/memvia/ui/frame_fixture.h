#pragma once

#include "ui/basicframelesshelper.h"
#include "ui/compositor.h"
#include "ui/framelesswidgethelper.h"

#include "memvia/memvia_component.h"

#include <QDialog>
#include <QVBoxLayout>
#include <QtTest/QTest>

#include <gtest/gtest.h>

// The frame helper with its hit test in reach.
class ProbeHelper : public FramelessWidgetHelper {
public:
    using FramelessWidgetHelper::FramelessWidgetHelper;
    using FramelessWidgetHelper::hitTest;
};

// A dialog laid out as the client's dialogs are: a layout holding "top_childWidget".
class FramedDialog : public QDialog {
public:
    explicit FramedDialog(QSize size = QSize(400, 300), Qt::WindowFlags extraFlags = {})
    {
        setWindowFlags(windowFlags() | extraFlags);
        auto* layout = new QVBoxLayout(this);
        child = new QWidget(this);
        child->setObjectName("top_childWidget");
        auto* column = new QVBoxLayout(child);
        column->addStretch();
        layout->addWidget(child);
        resize(size);
    }

    void showAndWait()
    {
        move(100, 100);
        show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(this));
    }

    // Drops the native window, as Qt does when a window is re-created.
    using QDialog::destroy;

    QWidget* child;
};

// Each case with the compositor answer it asks for, and the plug-in's component for the theme colour.
class FrameTest : public ::testing::Test {
protected:
    void SetUp() override { memvia::setCompositorOverride(true); }
    void TearDown() override { memvia::setCompositorOverride(std::nullopt); }
    MemviaComponent component;
};
