#pragma once

// Keys, texts and paths of the settings dialog.

// Configuration store: the stream parameters and the fixed room number the meeting forms read.
inline constexpr char kCfgVideoSize[] = "video.size";
inline constexpr char kCfgVideoFps[] = "video.fps";
inline constexpr char kCfgVideoKeyframeSec[] = "video.keyframe.sec";
inline constexpr char kCfgVideoEncoder[] = "video.encoder";
inline constexpr char kCfgMeetingKeyHead[] = "meeting.key.head";
inline constexpr char kCfgMeetingKeyBody[] = "meeting.key.body";

// Configuration store: the background pictures of the general page.
inline constexpr char kCfgBackgroundPath[] = "Background.Path";
inline constexpr char kCfgBackgroundDir[] = "Background.Dir";
inline constexpr char kCfgGreenScmBackgroundPath[] = "GreenScm.Background.Path";
inline constexpr char kCfgGreenScmBackgroundDir[] = "GreenScm.Background.Dir";

// A complete room number: three ASCII letters, then five digits.
inline constexpr char kMeetingKeyHeadPattern[] = "^[a-zA-Z]{3}$";
inline constexpr char kMeetingKeyBodyPattern[] = "^[0-9]{5}$";

// The operator's website pages the about page links.
inline constexpr char kWebsiteAgreementPath[] = "/user_agreement.html";
inline constexpr char kWebsitePolicyPath[] = "/privacy_policy.html";

inline constexpr char kSettingStyleSheet[] = ":/qss/dialog/settingdialog.css";

inline constexpr char kTextPrompt[] = "提示";
inline constexpr char kTextMeetingKeyIncomplete[] = "请先完成直播号设置";
inline constexpr char kTextSignInFirst[] = "请先登录账号";
inline constexpr char kTextPictureUnreadable[]
    = "所选图片读取异常，请将该图片转码修复后再重\n试或者选择其他图片";
inline constexpr char kTextChoosePicture[] = "选择图片";
inline constexpr char kPictureFilter[] = "Images (*.png *.jpg)";
