#pragma once

// Where the program finds the files it ships with: the pictures in image/
// and the licence documents in licenses/. Each folder is looked for first
// where a build or an unpacked copy keeps it (image/ in the working
// directory, licenses/ beside the executable), then where an installation
// puts it: ../share/tervalo-free/ relative to the executable. A folder is
// looked for once; where it was found, or that it was not, is logged once.

#include <QString>

class DataFiles {
public:
    /// Path of a picture of image/, e.g. image("danger.png"): relative
    /// "image/danger.png" when the working directory holds image/.
    static QString image(const QString &name);
    /// Path of a licence document, e.g. document("LGPLv3のライセンス文章.txt").
    static QString document(const QString &name);
};
