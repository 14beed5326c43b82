# cmake -DSRC=file -DDST=file -P copy_if_absent.cmake: copies SRC to DST unless DST exists.
if(NOT EXISTS "${DST}")
    get_filename_component(dst_dir "${DST}" DIRECTORY)
    file(MAKE_DIRECTORY "${dst_dir}")
    file(COPY_FILE "${SRC}" "${DST}")
endif()
