#pragma once
// The main window on temporary folders (see AppFixture), with what the
// fault tests add: selecting one node and a recording opener.
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "AppFixture.h"
#include "support/FileOps.h"

class WindowFaultFixture : public AppFixture {
protected:
    void TearDown() override
    {
        AppFixture::TearDown();
        if (m_oldPath)
            qputenv("PATH", *m_oldPath);
    }

    // "Open file(s)" through the program's own LaunchFile, with an xdg-open
    // first on the PATH that writes the bytes of its argument, one line per
    // call, to a file instead of opening anything.
    void useRecordingOpener()
    {
        const std::string bin = m_work / "bin";
        testutil::makeDir(bin);
        m_openedLog = m_work / "opened";
        testutil::writeFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + m_openedLog + "'\n");
        ::chmod((bin + "/xdg-open").c_str(), 0755);
        if (!m_oldPath)
            m_oldPath = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString(bin) + ":" + *m_oldPath);
        window().launchFile = [](const std::string& path) { LaunchFile(path); };
    }

    // The arguments the recording xdg-open received, as bytes.
    std::vector<std::string> opened() const
    {
        std::vector<std::string> lines;
        const std::string text = testutil::readFile(m_openedLog);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    // The texts of the selected nodes, sorted: the selection commands
    // promise which nodes are selected, not in which order.
    QStringList sortedSelectedTexts()
    {
        QStringList texts = selectedTexts();
        texts.sort();
        return texts;
    }

    void selectOnly(QModelIndex node)
    {
        window().tvXMLTree->clearSelection();
        window().tvXMLTree->addToSelection(node);
    }

    std::string m_openedLog;
    std::optional<QByteArray> m_oldPath;
};
