# Debian's libqscintilla2-qt6-dev ships no CMake package: find the header and library by hand.
find_path(QScintilla_INCLUDE_DIR Qsci/qsciscintilla.h
    HINTS ${Qt6Core_INCLUDE_DIRS} /usr/include/x86_64-linux-gnu/qt6 /usr/include/qt6
    PATH_SUFFIXES qt6)
find_library(QScintilla_LIBRARY NAMES qscintilla2_qt6 qscintilla2-qt6)
if(NOT QScintilla_INCLUDE_DIR OR NOT QScintilla_LIBRARY)
    message(FATAL_ERROR "QScintilla for Qt 6 not found: install libqscintilla2-qt6-dev")
endif()
add_library(QScintilla::QScintilla UNKNOWN IMPORTED)
set_target_properties(QScintilla::QScintilla PROPERTIES
    IMPORTED_LOCATION "${QScintilla_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${QScintilla_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "Qt6::Widgets")
