; SYNTAX TEST "source.zqasm" "macros, segments and the end of the source"
SETREG  .MACRO  REG, VAL        ; c
; <------ meta.macro.zqasm entity.name.function.macro.zqasm
;       ^^^^^^ meta.macro.zqasm keyword.control.directive.macro.zqasm
;               ^^^  ^^^ meta.macro.zqasm variable.parameter.zqasm
;                               ^^^ meta.macro.zqasm comment.line.semicolon.zqasm
        .LOCALLABEL again, next
;       ^^^^^^^^^^^ meta.macro.zqasm keyword.control.directive.macro.zqasm
;                   ^^^^^  ^^^^ meta.macro.zqasm entity.name.label.local.zqasm
again:  MOV     REG, VAL
; <----- meta.macro.zqasm entity.name.label.zqasm
;       ^^^ meta.macro.zqasm keyword.other.mnemonic.zqasm
        .IF .PARAMCOUNT = 2
;           ^^^^^^^^^^^ meta.macro.zqasm variable.language.paramcount.zqasm
        #ifnblank VAL
;       ^^^^^^^^^ meta.macro.zqasm keyword.control.directive.conditional.zqasm
;                 ^^^ meta.macro.zqasm variable.parameter.zqasm
        .MAC
;       ^^^^ meta.macro.zqasm keyword.control.directive.macro.zqasm
        .DATA
;       ^^^^^ meta.macro.zqasm keyword.control.directive.zqasm - meta.segment.data.zqasm
        .ENDMACRO
;       ^^^^^^^^^ meta.macro.zqasm keyword.control.directive.macro.zqasm
        SETREG  1, 2
;       ^^^^^^ keyword.other.mnemonic.zqasm - meta.macro.zqasm
        .data
;       ^^^^^ meta.segment.data.zqasm keyword.control.directive.zqasm
BUF     DN      4
; <--- meta.segment.data.zqasm entity.name.variable.ram.zqasm
;       ^^ meta.segment.data.zqasm keyword.control.directive.zqasm
        ORG     10h
;       ^^^ meta.segment.data.zqasm keyword.control.directive.zqasm
        .ENDD
TAB:    .TABLE
; <--- meta.segment.table.zqasm entity.name.label.zqasm - meta.segment.data.zqasm
;       ^^^^^^ meta.segment.table.zqasm keyword.control.directive.zqasm
        DATA    3, 41h
;       ^^^^ meta.segment.table.zqasm keyword.control.directive.zqasm
;                  ^^^ meta.segment.table.zqasm constant.numeric.hex.zqasm
        .DB     "AB", 0
;       ^^^ meta.segment.table.zqasm keyword.control.directive.zqasm
;               ^^^^ meta.segment.table.zqasm string.quoted.double.zqasm
        .ENDTAB
        END     ; stop
;       ^^^ keyword.control.directive.zqasm - meta.segment.table.zqasm
;               ^^^^^^ comment.block.ignored.zqasm
        MOV     1, 2
;       ^^^ comment.block.ignored.zqasm - keyword.other.mnemonic.zqasm
