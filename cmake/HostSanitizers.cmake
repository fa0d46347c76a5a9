# The host build runs the install logic against the simulated Windows layer under the sanitizers.
add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
                    -Wall -Wextra)
add_link_options(-fsanitize=address,undefined)
