// The titles of an SVG's elements of one class, as the ROM map writes them: an element
// "<rect class=\"CLS\" ...>" (or "<g class=\"CLS\" ...>" when `groups`) whose title follows
// it at once, in the order drawn.
#ifndef ZQASM_TESTS_TOOLS_SVG_TITLES_H_
#define ZQASM_TESTS_TOOLS_SVG_TITLES_H_

#include <string>
#include <vector>

namespace zqtest {

inline std::vector<std::string> svgTitles(const std::string& svg, const std::string& cls,
                                          bool groups) {
  std::vector<std::string> found;
  const std::string rect = "<rect class=\"" + cls + "\"", group = "<g class=\"" + cls + "\"";
  for (size_t at = svg.find('<'); at != std::string::npos; at = svg.find('<', at + 1)) {
    if (svg.compare(at, rect.size(), rect) != 0 &&
        !(groups && svg.compare(at, group.size(), group) == 0))
      continue;
    const size_t close = svg.find('>', at);
    if (close == std::string::npos) break;
    const std::string open = "<title>";
    if (svg.compare(close + 1, open.size(), open) != 0) continue;
    const size_t text = close + 1 + open.size();
    const size_t end = svg.find("</title>", text);
    if (end == std::string::npos) break;
    found.push_back(svg.substr(text, end - text));
  }
  return found;
}

}  // namespace zqtest

#endif  // ZQASM_TESTS_TOOLS_SVG_TITLES_H_
