// The program's command line: the input is the arguments after the
// program's name, separated by NUL bytes, as the system hands them over.
#include "fuzzsupport.h"

#include "app/commandline.h"

#include <QFile>

#include <vector>

using namespace lumenta;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startCoreApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    std::vector<QByteArray> raw = {QByteArray("lumenta")};
    while (in.left() > 0)
        raw.push_back(in.takeUntil('\0'));
    std::vector<const char*> argv;
    QStringList arguments;
    for (const QByteArray& a : raw) {
        argv.push_back(a.constData());
        arguments << QFile::decodeName(a);
    }
    const bool early = asksForHelpOrVersion(int(argv.size()), argv.data());

    const CommandLine cl = parseCommandLine(arguments);
    // Whatever is answered without running is answered without a display.
    LUMENTA_FUZZ_CHECK(early == (cl.action != CommandLine::Action::Run));
    if (cl.action == CommandLine::Action::Run)
        LUMENTA_FUZZ_CHECK(cl.path.isEmpty() || cl.path.startsWith(QLatin1Char('/')));
    else
        LUMENTA_FUZZ_CHECK(!cl.text.isEmpty());
    return 0;
}
