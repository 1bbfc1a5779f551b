# Compresses one file the way Debian packages want it: gzip -9 without name or time stamp.
# Script mode: cmake -DGZIP=/bin/gzip -DINPUT=file -DOUTPUT=file.gz -P GzipFile.cmake
execute_process(COMMAND "${GZIP}" -9nc "${INPUT}" OUTPUT_FILE "${OUTPUT}" COMMAND_ERROR_IS_FATAL ANY)
