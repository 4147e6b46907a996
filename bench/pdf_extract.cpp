// PdfExtractText as a command, for timing a whole process beside pdftotext:
//     pdf_extract FILE > text.txt
// writes the file's text as UTF-8.

#include "pdf/PdfDateExtract.h"

#include <QString>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pdf_extract FILE\n");
        return 2;
    }
    const QByteArray text = PdfExtractText(QString::fromLocal8Bit(argv[1])).toUtf8();
    return std::fwrite(text.constData(), 1, size_t(text.size()), stdout) == size_t(text.size()) ? 0
                                                                                                : 1;
}
