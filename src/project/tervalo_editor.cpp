#include "app/tervalo.h"

void tervalo::changeMenuAddCommand() {}
void tervalo::changeMenuAddCondition() {}
void tervalo::addCommand() {}
void tervalo::addCondition() {}
void tervalo::changeSomeThing() {}
void tervalo::showPageFields() {}
void tervalo::setLocked(bool) {}
