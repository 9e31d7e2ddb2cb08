#include "soap/SoapRequest.h"

#include "soap/SoapXml.h"
#include "soap/XmlCharacters.h"
#include "text/Error.h"
#include "text/Trim.h"

namespace tarvelo {

std::string SoapRequest::write(std::string_view ns, std::string_view operation,
                               std::span<const Argument> arguments) {
    std::string out = soapxml::open();
    out.append("<NS1:").append(operation).append(" xmlns:NS1=\"");
    soapxml::appendText(out, ns);
    out.append("\">");
    for (const auto& [name, value] : arguments)
        soapxml::appendValue(out, name, value);
    out.append("</NS1:").append(operation).append(">");
    return out + soapxml::close();
}

SoapRequest SoapRequest::read(std::string_view text) {
    // Checked before parsing: the parser would take both kinds of fault as they come, and a
    // reference to NUL would cut every text after it short.
    if (const auto problem = xmlchars::problem(text))
        throw Error("收到的请求不是格式正确的 XML：其中有 XML 1.0 不允许的字符。", *problem);
    pugi::xml_document doc;
    const auto op = soapxml::bodyContent(doc, text, "请求");
    SoapRequest request;
    request.ns = soapxml::namespaceOf(op);
    request.operation = soapxml::localName(op);
    for (auto p = op.first_child(); p; p = p.next_sibling()) {
        if (p.type() != pugi::node_element) continue;
        request.params.push_back(soapxml::readParam(p));
    }
    return request;
}

std::vector<double> SoapParam::doubles() const {
    const std::string what = "参数“" + name + "”";
    if (!arrayType) {
        // Some peers write an empty array bare, without type or length: an element with
        // nothing in it can only be that. Typed as anything but an array, it is refused.
        const bool bare = items.empty() && trim(text).empty();
        if (bare && (type.empty() || isArray)) return {};
        throw Error(what + "不是 SOAP 编码的数组：缺少 SOAP-ENC:arrayType。",
                    "子元素 " + std::to_string(items.size()) + " 个，文本“" + excerpt(text) + "”" +
                        (type.empty() ? "" : "，xsi:type=\"" + excerpt(type) + "\""));
    }
    const std::string& declared = *arrayType;
    const std::string told = "SOAP-ENC:arrayType=\"" + excerpt(declared) + "\"";
    // "QName[lengths]"; an array of arrays puts more brackets on the QName ("xsd:double[][2]").
    const std::size_t open = declared.rfind('[');
    if (open == std::string::npos || declared.back() != ']')
        throw Error(what + "的 SOAP-ENC:arrayType 不是“类型[长度]”的形式。", told);
    const std::string_view type = std::string_view(declared).substr(0, open);
    const std::size_t colon = type.find(':');
    const std::string_view local = colon == std::string_view::npos ? type : type.substr(colon + 1);
    if (arrayTypeNs != soapxml::kSchemaNs || local != "double")
        throw Error(what + "不是双精度数（xsd:double）的数组。",
                    told + "，类型的命名空间“" + arrayTypeNs + "”");
    const std::string_view length =
        std::string_view(declared).substr(open + 1, declared.size() - open - 2);
    if (length.size() > 9 || length.find_first_not_of("0123456789") != std::string_view::npos)
        throw Error(what + "的数组长度无效：只接受一维数组，长度为十进制整数。", told);
    if (!length.empty() && std::stoul(std::string(length)) != items.size())
        throw Error(what + "声明了 " + std::string(length) + " 项，实际收到 " +
                        std::to_string(items.size()) + " 项。",
                    told);
    if (!trim(text).empty())
        throw Error(what + "的项目之外还有文本。", "文本“" + excerpt(trim(text)) + "”");
    std::vector<double> values;
    values.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        try {
            values.push_back(soapDouble(items[i], name));
        } catch (const Error&) {
            throw Error(what + "的第 " + std::to_string(i + 1) + " 项不是有效的双精度数：“" +
                        excerpt(items[i]) + "”。");
        }
    }
    return values;
}

const SoapParam* SoapRequest::find(std::string_view name) const {
    for (const auto& p : params)
        if (p.name == name) return &p;
    return nullptr;
}

}  // namespace tarvelo
