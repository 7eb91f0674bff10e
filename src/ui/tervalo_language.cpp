#include "app/tervalo.h"

void tervalo::changeLanguage() {}
