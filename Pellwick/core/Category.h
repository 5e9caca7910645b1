#pragma once

#include <array>
#include <string_view>

// The order of the cases is the order in which the panel lists its groups.
enum class Category { projects, xcode, javascript, python, browserTools, aiTools, mobile, other };

inline constexpr std::array<Category, 8> allCategories{
    Category::projects,     Category::xcode,   Category::javascript, Category::python,
    Category::browserTools, Category::aiTools, Category::mobile,     Category::other};

[[nodiscard]] constexpr std::string_view title(Category category) {
    switch (category) {
    case Category::projects:
        return "Dormant projects";
    case Category::xcode:
        return "Xcode";
    case Category::javascript:
        return "JavaScript";
    case Category::python:
        return "Python";
    case Category::browserTools:
        return "Browser tools";
    case Category::aiTools:
        return "AI tools";
    case Category::mobile:
        return "Mobile dependencies";
    case Category::other:
        return "Other tools";
    }
    return {};
}
