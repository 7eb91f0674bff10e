#include "app/tervalo.h"

tervalo::GlobalHotkeyFilter::GlobalHotkeyFilter(int id) : hotkeyId(id) {}
tervalo::GlobalHotkeyFilter::~GlobalHotkeyFilter() = default;
bool tervalo::GlobalHotkeyFilter::nativeEventFilter(const QByteArray &, void *, qintptr *) { return false; }
void tervalo::getCoordinate() {}
void tervalo::getCoordinate2() {}
void tervalo::moveMousePointer() {}
void tervalo::registerGlobalHotkey() {}
void tervalo::unregisterGlobalHotkey() {}
