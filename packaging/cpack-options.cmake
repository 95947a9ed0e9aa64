# Read by cpack as it makes each package.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "@commit_time@" STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} "@commit_time@")
endif()
