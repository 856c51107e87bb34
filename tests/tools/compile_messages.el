;;; compile_messages.el --- the places Emacs's compilation mode finds in a file
;; emacs --batch -Q -l compile_messages.el FILE prints one line per message that the
;; default `compilation-error-regexp-alist' finds in FILE: "LINE: PLACE-FILE:PLACE-LINE
;; TYPE", LINE the line of FILE that holds it, TYPE error, warning or info.
(require 'compile)
(let ((file (car command-line-args-left)))
  (setq command-line-args-left nil)
  (with-current-buffer (get-buffer-create "*messages*")
    (insert-file-contents file)
    (compilation-mode)
    (compilation--ensure-parse (point-max))
    (let ((pos (point-min)))
      (while pos
        (let ((msg (get-text-property pos 'compilation-message)))
          (when msg
            (let ((loc (compilation--message->loc msg)))
              (princ (format "%d: %s:%s %s\n" (line-number-at-pos pos)
                             (caar (compilation--loc->file-struct loc))
                             (compilation--loc->line loc)
                             (pcase (compilation--message->type msg)
                               (2 "error") (1 "warning") (_ "info")))))))
        (setq pos (next-single-property-change pos 'compilation-message))))))
