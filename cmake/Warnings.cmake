# Every target of ours goes through zirv_target_defaults so that warnings and
# sanitizers are applied alike.
function(zirv_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(ZIRV_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

if(ZIRV_SANITIZE)
    add_compile_options(-fsanitize=${ZIRV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${ZIRV_SANITIZE})
endif()
