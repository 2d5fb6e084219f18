#include "xml/XslTransform.h"

#include "support/FileOps.h"
#include "support/PathOps.h"
#include "support/StringOps.h"
#include "xml/PreparedDocument.h"
#include "xml/RawXmlView.h"
#include "xml/Stylesheets.h"
#include "xml/ThumbnailImage.h"

#include <libxslt/imports.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>

namespace {

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

RenderResult transform(xsltStylesheetPtr style, xmlDoc* doc, const Thumbnails& thumbnails, const std::string& xslPath,
                       const std::string& xmlPath, LibxmlMessages& messages)
{
    Problem problem;
    problem.stylesheet = xslPath;
    problem.document = xmlPath;

    xsltTransformContextPtr context = xsltNewTransformContext(style, doc);
    if (!context) {
        problem.title = "The stylesheet could not be applied";
        problem.explanation = "The XSLT processor could not start the transformation.";
        return failure(problem);
    }
    xsltSetCtxtSecurityPrefs(securityPrefs(), context);
    xsltSetTransformErrorFunc(context, &messages, &LibxmlMessages::onGeneric);
    DocPtr result(xsltApplyStylesheetUser(style, doc, nullptr, nullptr, nullptr, context));
    const bool failed = !result || context->state != XSLT_STATE_OK;
    xsltFreeTransformContext(context);
    if (failed) {
        problem.title = "The stylesheet could not be applied";
        problem.explanation = "The XSLT processor stopped with an error while applying the stylesheet.";
        problem.messages = messages.text();
        if (problem.messages.empty())
            problem.messages = "The processor gave no further message.";
        return failure(problem);
    }

    xmlChar* output = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&output, &length, result.get(), style) != 0) {
        problem.title = "The stylesheet could not be applied";
        problem.explanation = "The result of the stylesheet could not be written out.";
        problem.messages = messages.text();
        return failure(problem);
    }
    XmlString outputOwner(output);
    std::string text(chars(output), static_cast<std::size_t>(std::max(length, 0)));
    if (Trim(text).empty()) {
        problem.title = "The stylesheet produced an empty page";
        problem.explanation = "The stylesheet ran without error but wrote nothing for this document.";
        problem.messages = messages.text();
        return failure(problem);
    }

    RenderResult rendered;
    rendered.ok = true;
    const xmlChar* method = nullptr;
    XSLT_GET_IMPORT_PTR(method, style, method)
    if (method && xmlStrEqual(method, asXml("text"))) {
        rendered.html = pageStart(xmlPath) + "<pre>" + HtmlEscaped(text) + "</pre>\n</body></html>\n";
    } else {
        rendered.html = std::move(text);
    }
    thumbnails.putInto(rendered.html);
    return rendered;
}

} // namespace

RenderResult TransformFile(const std::string& path, const std::function<void()>& onRead)
{
    const std::string extension = LowerAscii(ExtractFileExt(path));
    if (extension == ".htm" || extension == ".html") {
        RenderResult result;
        const bool read = ReadRegularFile(path, result.html);
        if (onRead)
            onRead();
        if (read) {
            result.ok = true;
            return result;
        }
        return failure({"The file could not be opened", "The file does not exist or cannot be read.", {}, path, {}, {}});
    }

    initialiseXslt();
    LibxmlMessages messages(LibxmlMessages::Of::XmlAndXslt);
    PreparedXml prepared;
    Problem problem;
    DocPtr doc = readXmlFile(path, kSourceOptions, prepared, messages, problem, path, onRead);
    if (!doc)
        return failure(problem);

    const std::string href = stylesheetHref(doc.get());
    if (href.empty())
        return rawXmlPage(doc.get(), prepared, path);

    const std::string xslPath = stylesheetPath(href, folderOf(path));
    if (xslPath.empty())
        return failure({"The stylesheet was not loaded",
                        "The document names a stylesheet that is not on this computer; only local "
                        "stylesheets are used.",
                        href, path, {}, {}});
    StylesheetPtr style = loadStylesheet(xslPath, messages, problem);
    if (!style) {
        problem.document = path;
        return failure(problem);
    }
    const Thumbnails thumbnails = addThumbnailImage(doc.get());
    return transform(style.get(), doc.get(), thumbnails, xslPath, path, messages);
}

RenderResult ApplyStylesheet(const std::string& xmlPath, const std::string& xslPath, const std::string& xmlName)
{
    const std::string& name = xmlName.empty() ? xmlPath : xmlName;
    initialiseXslt();
    LibxmlMessages messages(LibxmlMessages::Of::XmlAndXslt);
    PreparedXml prepared;
    Problem problem;
    DocPtr doc = readXmlFile(xmlPath, kSourceOptions, prepared, messages, problem, name);
    if (!doc) {
        problem.stylesheet = xslPath;
        return failure(problem);
    }
    StylesheetPtr style = loadStylesheet(xslPath, messages, problem);
    if (!style) {
        problem.document = name;
        return failure(problem);
    }
    const Thumbnails thumbnails = addThumbnailImage(doc.get());
    return transform(style.get(), doc.get(), thumbnails, xslPath, name, messages);
}
