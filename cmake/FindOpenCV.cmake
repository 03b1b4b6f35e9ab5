# Finds OpenCV 4 from the distribution's per-module development packages, which
# ship headers and libraries but no OpenCVConfig.cmake and no pkg-config file.
#
#   find_package(OpenCV 4 REQUIRED COMPONENTS core imgproc imgcodecs)
#
# Defines one imported target per component (opencv_core, opencv_imgproc,
# opencv_imgcodecs, ...), the names OpenCV's own package configuration uses,
# plus OpenCV_FOUND, OpenCV_VERSION, OpenCV_INCLUDE_DIRS and OpenCV_LIBS.

find_path(OpenCV_INCLUDE_DIR
    NAMES opencv2/core/version.hpp
    PATH_SUFFIXES opencv4)
mark_as_advanced(OpenCV_INCLUDE_DIR)

if(OpenCV_INCLUDE_DIR AND EXISTS "${OpenCV_INCLUDE_DIR}/opencv2/core/version.hpp")
    file(STRINGS "${OpenCV_INCLUDE_DIR}/opencv2/core/version.hpp" _opencv_version_lines
        REGEX "^#define CV_VERSION_(MAJOR|MINOR|REVISION)[ \t]+[0-9]+")
    foreach(_part MAJOR MINOR REVISION)
        string(REGEX REPLACE ".*#define CV_VERSION_${_part}[ \t]+([0-9]+).*" "\\1"
            OpenCV_VERSION_${_part} "${_opencv_version_lines}")
    endforeach()
    set(OpenCV_VERSION
        "${OpenCV_VERSION_MAJOR}.${OpenCV_VERSION_MINOR}.${OpenCV_VERSION_REVISION}")
    unset(_opencv_version_lines)
endif()

if(NOT OpenCV_FIND_COMPONENTS)
    set(OpenCV_FIND_COMPONENTS core)
endif()

set(OpenCV_LIBS "")
foreach(_component IN LISTS OpenCV_FIND_COMPONENTS)
    find_library(OpenCV_${_component}_LIBRARY NAMES opencv_${_component})
    mark_as_advanced(OpenCV_${_component}_LIBRARY)
    if(OpenCV_${_component}_LIBRARY)
        set(OpenCV_${_component}_FOUND TRUE)
    else()
        set(OpenCV_${_component}_FOUND FALSE)
    endif()
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCV
    REQUIRED_VARS OpenCV_INCLUDE_DIR
    VERSION_VAR OpenCV_VERSION
    HANDLE_COMPONENTS)

if(OpenCV_FOUND)
    set(OpenCV_INCLUDE_DIRS "${OpenCV_INCLUDE_DIR}")
    # What each module itself links, as OpenCV's own configuration says.
    set(_opencv_imgproc_deps opencv_core)
    set(_opencv_imgcodecs_deps opencv_imgproc opencv_core)
    foreach(_component IN LISTS OpenCV_FIND_COMPONENTS)
        if(NOT OpenCV_${_component}_FOUND)
            continue()
        endif()
        # Global, so that every directory that links a target built on OpenCV
        # resolves the same names, whichever directory asked first.
        if(NOT TARGET opencv_${_component})
            add_library(opencv_${_component} UNKNOWN IMPORTED GLOBAL)
            set_target_properties(opencv_${_component} PROPERTIES
                IMPORTED_LOCATION "${OpenCV_${_component}_LIBRARY}"
                INTERFACE_INCLUDE_DIRECTORIES "${OpenCV_INCLUDE_DIR}"
                INTERFACE_LINK_LIBRARIES "${_opencv_${_component}_deps}")
        endif()
        list(APPEND OpenCV_LIBS opencv_${_component})
    endforeach()
    unset(_opencv_imgproc_deps)
    unset(_opencv_imgcodecs_deps)
endif()
unset(_component)
unset(_part)
