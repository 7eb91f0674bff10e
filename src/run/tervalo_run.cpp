#include "app/tervalo.h"

void tervalo::stertRun() {}
void tervalo::onRunFinished() {}
void tervalo::launchRun() {}
