#include "xml/LibxmlMessages.h"

#include <libxml/globals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <sstream>

#include "support/StringOps.h"

namespace {

std::mutex& xsltCollectorMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

LibxmlMessages::LibxmlMessages(Of of)
    : m_xslt(of == Of::XmlAndXslt),
      m_oldStructured(xmlStructuredError),
      m_oldStructuredContext(xmlStructuredErrorContext),
      m_oldGeneric(xmlGenericError),
      m_oldGenericContext(xmlGenericErrorContext)
{
    if (m_xslt) {
        m_onlyXsltCollector.emplace(xsltCollectorMutex());
        m_oldXslt = xsltGenericError;
        m_oldXsltContext = xsltGenericErrorContext;
        xsltSetGenericErrorFunc(this, &LibxmlMessages::onGeneric);
    }
    xmlSetStructuredErrorFunc(this, &LibxmlMessages::onStructured);
    xmlSetGenericErrorFunc(this, &LibxmlMessages::onGeneric);
}

LibxmlMessages::~LibxmlMessages()
{
    xmlSetStructuredErrorFunc(m_oldStructuredContext, m_oldStructured);
    xmlSetGenericErrorFunc(m_oldGenericContext, m_oldGeneric);
    if (m_xslt)
        xsltSetGenericErrorFunc(m_oldXsltContext, m_oldXslt);
}

std::string LibxmlMessages::firstError(const std::string& fallback) const
{
    return m_firstError.empty() ? fallback : m_firstError;
}

void LibxmlMessages::onGeneric(void* self, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char buffer[2048];
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0)
        static_cast<LibxmlMessages*>(self)->m_text.append(
            buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

void LibxmlMessages::add(const std::string& line)
{
    if (!m_text.empty() && m_text.back() != '\n')
        m_text += '\n';
    m_text += line;
    m_text += '\n';
}

std::string LibxmlMessages::text() const
{
    std::string out;
    std::istringstream lines(m_text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (Trim(line).empty())
            continue;
        out += line;
        out += '\n';
    }
    return out;
}

#if LIBXML_VERSION >= 21200
void LibxmlMessages::onStructured(void* self, const xmlError* error)
#else
void LibxmlMessages::onStructured(void* self, xmlErrorPtr error)
#endif
{
    if (!error || error->level == XML_ERR_NONE)
        return;
    auto* messages = static_cast<LibxmlMessages*>(self);
    const std::string message = Trim(error->message ? error->message : "");
    if (error->level >= XML_ERR_ERROR && !messages->m_failed) {
        messages->m_failed = true;
        messages->m_firstError = message;
    }
    std::string line;
    if (error->file && *error->file) {
        line += error->file;
        line += ':';
        if (error->line > 0)
            line += std::to_string(error->line) + ':';
        line += ' ';
    } else if (error->line > 0) {
        line += "line " + std::to_string(error->line) + ": ";
    }
    if (error->level == XML_ERR_WARNING)
        line += "warning: ";
    line += message.empty() ? std::string("unknown error") : message;
    // XPath errors name the expression in str1.
    if (error->domain == XML_FROM_XPATH && error->str1 && *error->str1)
        line += std::string(" (expression: ") + error->str1 + ")";
    messages->add(line);
}
