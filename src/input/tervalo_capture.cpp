#include "app/tervalo.h"

void tervalo::pollKeystroke() {}
void tervalo::beginKeyCapture(bool) {}
void tervalo::enterCaptureMode(bool) {}
void tervalo::leaveCaptureMode() {}
void tervalo::cancelKeyCapture() {}
