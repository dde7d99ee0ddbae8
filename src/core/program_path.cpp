#include "core/program_path.h"

namespace core {

std::u16string ApplicationTitleFromPath(std::u16string_view exe_path) {
  const std::size_t slash = exe_path.rfind(u'\\');
  std::u16string_view name = slash == std::u16string_view::npos ? exe_path : exe_path.substr(slash + 1);
  return std::u16string(name.substr(0, name.find(u'.')));
}

std::u16string LowerCaseAfterFirst(std::u16string_view title, const LowerCaseFn& lower) {
  if (title.size() <= 1) return std::u16string(title);
  return title.front() + lower(title.substr(1));
}

std::u16string ProgramDirectory(std::u16string_view exe_path) {
  const std::size_t cut = exe_path.find_last_of(u"\\:");
  if (cut == std::u16string_view::npos) return std::u16string();
  return std::u16string(exe_path.substr(0, cut + 1));
}

}  // namespace core
