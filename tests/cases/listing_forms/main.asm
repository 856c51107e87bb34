; lines that make no code

        #include <chip.inc>
   
        ORG     10h             ; first origin
	; indented comment
        #include <deep.inc>
L1      ORG     30h
MSG     .MACRO  X
        .TABLE
        .DSU    X
        .DB     1
        .ENDT
        .ENDM
        MSG     "Hi"
