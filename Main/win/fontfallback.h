#pragma once

// The style sheets name the Windows UI font "Microsoft YaHei", which Linux lacks; without a substitute the
// font matcher picks a Latin font. This maps it to the CJK fonts a Linux desktop has (the first installed
// one wins). Call once, on the GUI thread, before the first window is styled.
void installFontFallbacks();
