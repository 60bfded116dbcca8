# nimbrel_robot_node_peers(<target> <folder>): a target that copies the rosbridge peers (npm's
# roslib and the ws server) into <folder> and installs their packages there with `npm ci` from the
# committed lock file. node_modules never lives in the source tree.
set(NIMBREL_ROBOT_NODE_SOURCE ${CMAKE_CURRENT_LIST_DIR})
function(nimbrel_robot_node_peers target folder)
    find_program(NIMBREL_NODE node REQUIRED)
    find_program(NIMBREL_NPM npm REQUIRED)
    set(sources)
    foreach(f package.json package-lock.json roslib-client.mjs rosbridge-fake.mjs roslib-stream.mjs
            odometry.mjs roslib-direct.mjs)
        list(APPEND sources ${NIMBREL_ROBOT_NODE_SOURCE}/${f})
    endforeach()
    add_custom_command(OUTPUT ${folder}/node_modules/.package-lock.json
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E copy ${sources} ${folder}
        COMMAND ${NIMBREL_NPM} ci --no-audit --no-fund --prefix ${folder}
        DEPENDS ${sources}
        COMMENT "npm ci: roslib and ws for the rosbridge peers")
    add_custom_target(${target} ALL DEPENDS ${folder}/node_modules/.package-lock.json)
endfunction()
