#include "app/tervalo.h"

void tervalo::newFile() {}
void tervalo::loadFile1() {}
void tervalo::saveFile1() {}
void tervalo::saveFile3() {}
bool tervalo::confirmReplace(const QString &, const QString &) { return false; }
void tervalo::writeProjectFile() {}
void tervalo::readProjectFile() {}
