; SYNTAX TEST "source.zqasm" "directives"
        .CHIP   ZQ4460
;       ^^^^^ keyword.control.directive.zqasm
;               ^^^^^^ entity.name.type.chip.zqasm
#include <defs.h>
; <-------- keyword.control.directive.include.zqasm
;         ^^^^^^ string.quoted.other.lt-gt.include.zqasm
        .INCLUDE "DEFS.H" ; c
;       ^^^^^^^^ keyword.control.directive.include.zqasm
;                 ^^^^^^ string.quoted.double.include.zqasm
;                         ^^^ comment.line.semicolon.zqasm
        #include lib\x.inc
;       ^^^^^^^^ keyword.control.directive.include.zqasm
;                ^^^^^^^^^ string.unquoted.include.zqasm
COUNT   EQU     5
; <----- entity.name.constant.zqasm - entity.name.label.zqasm
;       ^^^ keyword.control.directive.zqasm
  ch: .equal 'A'
; ^^ entity.name.constant.zqasm
;     ^^^^^^ keyword.control.directive.zqasm
;            ^^^ constant.character.zqasm
X EQU5
; <- entity.name.label.zqasm - entity.name.constant.zqasm
; ^^^^ keyword.other.mnemonic.zqasm
ARGS    DEFSTR  45h, 3 ; c
; <---- entity.name.constant.string.zqasm
;       ^^^^^^ keyword.control.directive.zqasm
;               ^^^^^^^ string.unquoted.zqasm
;                      ^^^ comment.line.semicolon.zqasm
        #DEFINE FLAG 2
;       ^^^^^^^ keyword.control.directive.zqasm
;               ^^^^ entity.name.constant.define.zqasm
;                    ^ constant.numeric.decimal.zqasm
L1      org     10h
; <-- entity.name.label.zqasm
;       ^^^ keyword.control.directive.zqasm
        .if COUNT.GT.2 && FLAG <> 0 || .not.X
;       ^^^ keyword.control.directive.conditional.zqasm
;           ^^^^^ variable.other.zqasm
;                ^^^^ keyword.operator.comparison.word.zqasm
;                      ^^           ^^ keyword.operator.logical.zqasm
;                              ^^ keyword.operator.comparison.zqasm
;                                      ^^^^^ keyword.operator.logical.word.zqasm
        #Else
;       ^^^^^ keyword.control.directive.conditional.zqasm
        #IFSAME A, B
;       ^^^^^^^ invalid.illegal.directive.zqasm
        .ENDIF;x
;       ^^^^^^ invalid.illegal.directive.zqasm
;             ^^ comment.line.semicolon.zqasm
        .IF(X)
;       ^^^ invalid.illegal.directive.zqasm - keyword.control.directive.conditional.zqasm
here:   .DS     2
; <---- entity.name.label.zqasm
;       ^^^ keyword.control.directive.zqasm
        .ERROR  "Stack" "overflow"
;       ^^^^^^ keyword.control.directive.zqasm
;               ^^^^^^^ ^^^^^^^^^^ string.quoted.double.zqasm
