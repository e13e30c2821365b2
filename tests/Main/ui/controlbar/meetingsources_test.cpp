// The meeting form's sources: the camera placed bottom-right and mirrored (hidden and put back), images
// deleted one or all, which menu a source opens, members' menus, the sound switches and the rotation.
#include "controlbar_support.h"

#include "global/menurunner.h"
#include "global/meetingkeys.h"
#include "media/i420frame.h"
#include "ui/part/meetingmainctrlform.h"
#include "ui/part/meetingmainform.h"
#include "ui/part/mirrorwidget.h"
#include "ui_meetingmainform.h"

#include "support/scoped_env.h"

#include <studio/thirdsource.h>
#include <studio/zovmwidget.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>

namespace {

class MeetingSourcesTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        form = std::make_unique<MeetingMainForm>();
        studio()->ResetVideoSize(1280, 720);
        setMenuRunner([this](QMenu& menu, QPoint) -> QAction* {
            QStringList texts;
            for (QAction* action : menu.actions())
                texts << action->text();
            menus << texts;
            return choice >= 0 ? menu.actions().value(choice) : nullptr;
        });
    }
    void TearDown() override
    {
        setMenuRunner({});
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    ZovMWidget* studio() { return form->form()->widget_center; }

    QPoint positionOf(void* handle)
    {
        QPoint position(-1, -1);
        studio()->GetSourcePos(handle, position);
        return position;
    }

    bool onScene(void* handle)
    {
        for (const StudioSourceInfo& info : studio()->sources()) {
            if (info.handle == handle)
                return true;
        }
        return false;
    }

    QString image(const char* name, Qt::GlobalColor colour)
    {
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(colour);
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(picture.save(path));
        return path;
    }

    // Each image's handle, in the order they were added.
    QList<void*> imageHandles()
    {
        QList<void*> handles;
        for (const StudioSourceInfo& info : studio()->sources()) {
            if (info.kind == StudioSourceKind::Image)
                handles << info.handle;
        }
        return handles;
    }

    QTemporaryDir dir;
    ScopedEnv config { "XDG_CONFIG_HOME", dir.path().toStdString() };
    std::unique_ptr<MeetingMainForm> form;
    QList<QStringList> menus;
    int choice = -1;
};

TEST_F(MeetingSourcesTest, CameraSitsInTheBottomRightCornerAndLeavesWhenStopped)
{
    form->OnCameraReady(QStringLiteral("cam-1"), 320, 180);
    void* camera = form->cameraSource();
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(positionOf(camera), QPoint(960, 540));
    // A second ready replaces the first source.
    form->OnCameraReady(QStringLiteral("cam-2"), 640, 360);
    EXPECT_FALSE(onScene(camera));
    EXPECT_EQ(positionOf(form->cameraSource()), QPoint(640, 360));

    form->OnCameraStop();
    EXPECT_EQ(form->cameraSource(), nullptr);
    EXPECT_TRUE(form->cameraSourceId().isEmpty());
    EXPECT_TRUE(studio()->sources().empty());
}

TEST_F(MeetingSourcesTest, MirrorAndHideTakesTheCameraOffTheSceneAndClosingPutsItBack)
{
    const char* id = "b7f7c6de-sources-camera";
    ThirdSource::RegisterThirdSource(id);
    form->OnCameraReady(QString::fromLatin1(id), 320, 180);
    choice = 1;
    form->OnSourceContextMenuRequested(form->cameraSource());
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0], QStringList({ "镜像到桌面", "镜像到桌面并隐藏画面源" }));
    EXPECT_EQ(form->cameraSource(), nullptr);
    EXPECT_TRUE(studio()->sources().empty());
    MirrorWidget* mirror = form->cameraMirror();
    ASSERT_NE(mirror, nullptr);
    EXPECT_TRUE(mirror->isVisible());
    EXPECT_EQ(mirror->minimumSize(), QSize(160, 90));
    EXPECT_EQ(mirror->windowTitle(), "Tavicast");

    mirror->close();
    ASSERT_NE(form->cameraSource(), nullptr);
    EXPECT_EQ(positionOf(form->cameraSource()), QPoint(960, 540));
    EXPECT_EQ(form->cameraMirror(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Not mirrored any more: the menu offers mirroring again.
    choice = -1;
    form->OnSourceContextMenuRequested(form->cameraSource());
    EXPECT_EQ(menus.last(), QStringList({ "镜像到桌面", "镜像到桌面并隐藏画面源" }));
    ThirdSource::UnregisterThirdSource(id);
}

TEST_F(MeetingSourcesTest, MirroredCameraMenuUnmirrorsOrHidesTheSource)
{
    form->OnCameraReady(QStringLiteral("cam-m"), 1280, 720);
    choice = 0;
    form->OnSourceContextMenuRequested(form->cameraSource());
    ASSERT_NE(form->cameraMirror(), nullptr);
    EXPECT_NE(form->cameraSource(), nullptr);

    choice = 1;
    form->OnSourceContextMenuRequested(form->cameraSource());
    EXPECT_EQ(menus.last(), QStringList({ "取消镜像", "隐藏画面源" }));
    EXPECT_EQ(form->cameraSource(), nullptr);
    EXPECT_NE(form->cameraMirror(), nullptr);

    // Stopping the camera closes the mirror too.
    form->OnCameraStop();
    EXPECT_EQ(form->cameraMirror(), nullptr);
}

TEST_F(MeetingSourcesTest, AMirrorStillOpenGoesWithTheForm)
{
    form->OnCameraReady(QStringLiteral("cam-f"), 640, 480);
    choice = 0;
    form->OnSourceContextMenuRequested(form->cameraSource());
    QPointer<MirrorWidget> mirror = form->cameraMirror();
    ASSERT_TRUE(mirror);
    EXPECT_EQ(mirror->minimumSize(), QSize(160, 120));
    form.reset();
    EXPECT_TRUE(mirror.isNull());
}

TEST_F(MeetingSourcesTest, DeleteOneImageOrAllOfThem)
{
    for (const char* name : { "a.png", "b.png", "c.png" })
        form->OnAddImage(image(name, Qt::red));
    form->OnAddImage(dir.filePath("missing.png"));
    ASSERT_EQ(form->imageSourceCount(), 3);
    QList<void*> handles = imageHandles();
    ASSERT_EQ(handles.size(), 3);
    for (void* handle : handles)
        EXPECT_EQ(positionOf(handle), QPoint(0, 0));

    choice = 0;
    form->OnSourceContextMenuRequested(handles[1]);
    EXPECT_EQ(menus.last(), QStringList({ "删除图片", "删除所有图片" }));
    EXPECT_EQ(form->imageSourceCount(), 2);
    EXPECT_EQ(imageHandles(), QList<void*>({ handles[0], handles[2] }));

    choice = -1;
    form->OnSourceContextMenuRequested(handles[0]);
    EXPECT_EQ(form->imageSourceCount(), 2);

    choice = 1;
    form->OnSourceContextMenuRequested(handles[2]);
    EXPECT_EQ(form->imageSourceCount(), 0);
    EXPECT_TRUE(studio()->sources().empty());
}

TEST_F(MeetingSourcesTest, EachSourceOpensItsOwnMenu)
{
    form->OnAddImage(image("i.png", Qt::blue));
    void* imageHandle = imageHandles().value(0);
    form->OnCameraReady(QStringLiteral("cam-d"), 320, 180);
    void* cameraHandle = form->cameraSource();
    void* memberHandle = studio()->AddThirdSource(QStringLiteral("member-7"), QPoint(10, 10));
    CoBroadcastRecord member;
    member.userId = 7;
    member.source = memberHandle;
    form->coBroadcasts().append(member);
    CoBroadcastRecord offScene;
    offScene.userId = 8;
    form->coBroadcasts().append(offScene);

    int stranger = 0;
    const struct {
        const char* what;
        void* handle;
        MeetingMainForm::SourceMenu expected;
    } cases[] = {
        { "member", memberHandle, MeetingMainForm::SourceMenu::Member },
        { "image", imageHandle, MeetingMainForm::SourceMenu::Image },
        { "camera", cameraHandle, MeetingMainForm::SourceMenu::Camera },
        { "unknown", &stranger, MeetingMainForm::SourceMenu::None },
        { "null", nullptr, MeetingMainForm::SourceMenu::None },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(form->sourceMenuFor(c.handle), c.expected);
    }
    // With the camera hidden, a null handle still opens nothing.
    form->OnCameraStop();
    EXPECT_EQ(form->sourceMenuFor(nullptr), MeetingMainForm::SourceMenu::None);
    form->OnSourceContextMenuRequested(nullptr);
    EXPECT_TRUE(menus.isEmpty());
    form->coBroadcasts().clear();
}

TEST_F(MeetingSourcesTest, MemberMenusOpenOnlyWhereThereIsSomethingToDo)
{
    // The form starts as a viewer: another member's menu is empty.
    ASSERT_FALSE(form->isHost());
    form->OnMemberContextMenuRequested(5);
    // A member without a live video connection has nothing to embed or mirror.
    CoBroadcastRecord member;
    member.userId = 5;
    form->coBroadcasts().append(member);
    form->OnMemberContextMenuRequested(5);
    form->OnMemberContextMenuRequested(6);
    EXPECT_TRUE(menus.isEmpty());
    form->coBroadcasts().clear();
}

TEST_F(MeetingSourcesTest, SoundEventsReachTheStudio)
{
    const struct {
        QEvent* event;
        bool microphone;
        bool desktop;
    } steps[] = {
        { new V3ControlMicroAudioEvent(true), true, false },
        { new V3ControlSystemAudioEvent(true), true, true },
        { new V3ControlMicroAudioEvent(false), false, true },
        { new V3ControlSystemAudioEvent(false), false, false },
    };
    for (const auto& step : steps) {
        deliverNow(step.event);
        EXPECT_EQ(studio()->isMicrophoneMuted(), step.microphone);
        EXPECT_EQ(studio()->isDesktopAudioMuted(), step.desktop);
    }
}

TEST_F(MeetingSourcesTest, RotateTurnsThePictureAQuarterBackEachTime)
{
    const int expected[] = { 270, 180, 90, 0, 270 };
    for (int degrees : expected) {
        form->form()->widget_ctrl->on_pushButton_rotate_clicked();
        I420FramePtr frame = I420Frame::create(16, 8, 8, 16, 16);
        ASSERT_TRUE(frame);
        form->slot_Render(frame);
        EXPECT_EQ(frame->rotation, degrees);
    }
    form->slot_Render(nullptr);
}

} // namespace
